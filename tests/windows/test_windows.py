#!/usr/bin/python3
"""The Windows programs under Wine, on an X server of their own, looked at from outside.

In a Wine prefix of its own: the installer runs silently and puts the programs, the Start-menu
entry and the "Open With" entry where it says; vrxlog.exe gives byte for byte what the Linux
vrxlog gives on the same logs (text, status, and the PDF's pages as text); vrxpv.exe shows a log
with its caption, text and counters; prints through Wine's printers (the CUPS queues) with the
default printer as it was; checks for an update against a loopback server; keeps its setting
in the registry; the uninstaller removes everything but that setting. Screenshots go into the
work folder. Exit 0 passed, 1 failed, 77 skipped (a tool missing, not allowed under CI=true).

Usage: test_windows.py --setup SETUP.exe --zip ZIP --vrxlog-linux VRXLOG --samples DIR --work DIR
"""

import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import time
import traceback
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "desktop"))
from desktop import Check, Desktop, VersionServer, wait_for  # noqa: E402

TITLE = "View & Print VRX Log Files"
CAPTION = TITLE + ", v1.3 - Jan 2025 / QX"
ABOUT = "About " + TITLE
INSTALL_DIR = "Program Files/VRX PV"
SETTINGS_KEY = r"HKCU\Software\VB and VBA Program Settings\Zero & Vevod  Uri Raviz\Settings"
DEVICE_KEY = r"HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows"
TOOLS = ["Xvfb", "openbox", "xprop", "xdotool", "import", "xclip", "pdftotext", "tesseract", "lpstat"]


class Wine:
    """A Wine prefix of the test's own; programs run with Wine's messages off."""

    def __init__(self, prefix, display_env):
        self.wine = shutil.which("wine64") or "/usr/lib/wine/wine64"
        self.server = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
        self.env = dict(display_env)
        self.env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINELOADER=self.wine,
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.prefix = prefix
        subprocess.run([self.wine, "wineboot", "-i"], env=self.env, capture_output=True, timeout=300)
        # A program that crashes ends at once instead of waiting behind Wine's crash dialog.
        self.run(["reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD",
                  "/d", "0", "/f"])
        self.wait()

    def drive_c(self, path):
        return os.path.join(self.prefix, "drive_c", path)

    def run(self, argv, timeout=120, **kwargs):
        return subprocess.run([self.wine, *argv], env=self.env, capture_output=True, timeout=timeout, **kwargs)

    def start(self, argv, env=None, **kwargs):
        return subprocess.Popen([self.wine, *argv], env=env or self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, **kwargs)

    def wait(self, timeout=120):
        """Waits for every program of the prefix to end; false (and they are ended) after timeout."""
        try:
            subprocess.run([self.server, "-w"], env=self.env, timeout=timeout)
            return True
        except subprocess.TimeoutExpired:
            subprocess.run([self.server, "-k"], env=self.env, timeout=60)
            return False

    def reg_value(self, key, name):
        out = self.run(["reg", "query", key, "/v", name]).stdout.decode("utf-8", "replace")
        found = re.search(r"^\s+" + re.escape(name) + r"\s+REG_\w+\s+(.*?)\s*$", out, re.M)
        return found.group(1) if found else None

    def reg_key_exists(self, key):
        return self.run(["reg", "query", key]).returncode == 0

    def close(self):
        subprocess.run([self.server, "-k"], env=self.env, timeout=60)


def windows_path(path):
    """A Linux path as Wine's drive Z: names it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# ---- the installer ----

def check_installer(wine, check, setup):
    result = wine.run([setup, "/S", "/VRXLOG"], timeout=300)
    wine.wait()
    check.equal("installer exit status", result.returncode, 0)
    folder = wine.drive_c(INSTALL_DIR)
    for name in ("vrxpv.exe", "vrxlog.exe", "uninstall.exe"):
        check.true(f"installed {INSTALL_DIR}/{name}", os.path.isfile(os.path.join(folder, name)))
    shortcut = wine.drive_c(f"ProgramData/Microsoft/Windows/Start Menu/Programs/{TITLE}.lnk")
    check.true("Start-menu entry", os.path.isfile(shortcut), shortcut)
    check.true("Open With lists the program for .log files",
               wine.reg_key_exists(r"HKLM\Software\Classes\.log\OpenWithProgids")
               and wine.reg_value(r"HKLM\Software\Classes\.log\OpenWithProgids", "VRXPV.LogFile") is not None)
    check.equal("the default program of .log files is not taken over",
                wine.reg_value(r"HKLM\Software\Classes\.log", "(Default)") in (None, "", "txtfile"), True)
    return folder


def check_uninstaller(wine, check, folder):
    result = wine.run([os.path.join(folder, "uninstall.exe"), "/S"], timeout=300)
    wine.wait()
    check.equal("uninstaller exit status", result.returncode, 0)
    check.true("the uninstaller removes the program folder", not os.path.exists(folder),
               str(os.listdir(folder)) if os.path.isdir(folder) else "")
    check.true("the uninstaller removes the Open With entry",
               wine.reg_value(r"HKLM\Software\Classes\.log\OpenWithProgids", "VRXPV.LogFile") is None)
    check.true("the uninstaller keeps the user's setting",
               wine.reg_value(SETTINGS_KEY, "DefaultPath") is not None)


# ---- vrxlog.exe against the Linux vrxlog ----

def vrxlog_inputs(samples, corpus, folder):
    """The samples and the reader's hand-made cases, copied into one folder with their status
    files; the names are relative to it, so both programs see the same arguments."""
    names = []
    for path in sorted(glob.glob(os.path.join(samples, "*"))):
        if path.lower().endswith((".log", ".tst")):
            shutil.copy(path, folder)
            if path.lower().endswith(".log"):
                names.append(os.path.basename(path))
    for path in sorted(glob.glob(os.path.join(corpus, "*"))):
        name = "case-" + os.path.basename(path) + ".log"
        shutil.copy(path, os.path.join(folder, name))
        names.append(name)
    return names


def check_vrxlog(wine, check, vrxlog_exe, vrxlog_linux, samples, corpus, work):
    folder = os.path.join(work, "vrxlog-inputs")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    names = vrxlog_inputs(samples, corpus, folder)
    runs = [["text"] + names, ["text", "--crlf"] + names, ["status"] + names]
    for log in ("scope-fail.log", "RUN7.LOG", "scope-pass.log"):
        runs.append(["text", log])
    for argv in runs:
        linux = subprocess.run([vrxlog_linux, *argv], cwd=folder, capture_output=True, timeout=120)
        windows = wine.run([vrxlog_exe, *argv], cwd=folder)
        what = "vrxlog " + " ".join(argv[:2] if len(argv) > 3 else argv)
        check.equal(f"{what}: exit status", windows.returncode, linux.returncode)
        check.true(f"{what}: standard output byte for byte", windows.stdout == linux.stdout,
                   first_difference(linux.stdout, windows.stdout))
        check.equal(f"{what}: messages", windows.stderr.decode("utf-8", "replace").replace("\r\n", "\n"),
                    linux.stderr.decode("utf-8", "replace"))
    for log in ("scope-fail.log", "RUN7.LOG"):
        pages = {}
        for side, program in (("linux", [vrxlog_linux]), ("windows", [wine.wine, vrxlog_exe])):
            pdf = os.path.join(work, f"{side}-{log}.pdf")
            env = wine.env if side == "windows" else None
            result = subprocess.run([*program, "pdf", "-o", pdf, log], cwd=folder, env=env,
                                    capture_output=True, timeout=120)
            check.equal(f"vrxlog pdf {log} on {side}: exit status", result.returncode, 0)
            pages[side] = pdf_text(pdf) if os.path.exists(pdf) else None
        check.true(f"vrxlog pdf {log}: the same pages as text", pages["windows"] == pages["linux"] and pages["linux"],
                   first_difference((pages["linux"] or "").encode(), (pages["windows"] or "").encode()))


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return f"first difference at byte {i}: {a[max(0, i - 20):i + 20]!r} / {b[max(0, i - 20):i + 20]!r}"
    return f"lengths {len(a)} and {len(b)}" if len(a) != len(b) else ""


def pdf_text(pdf):
    return subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True, timeout=60).stdout


# ---- vrxpv.exe on the desktop ----

class Program:
    def __init__(self, desk, wine, exe, work, env_extra=None):
        self.desk, self.wine, self.work = desk, wine, work
        env = dict(wine.env)
        env.update(env_extra or {})
        self.proc = wine.start([exe], env=env) if exe else None
        self.shots = 0

    def screenshot(self, name):
        self.shots += 1
        path = os.path.join(self.work, f"{self.shots:02d}-{name}.png")
        self.desk.screenshot(path)
        return path


def clipboard(desk):
    return desk.run(["xclip", "-o", "-selection", "clipboard"])


def ocr(png, scale="400%", crop=None, threshold="60%"):
    """The text OCR reads off a screenshot or page: in black and white, enlarged."""
    prepared = png.replace(".png", "-ocr.png")
    argv = ["convert", png] + (["-crop", crop, "+repage"] if crop else [])
    subprocess.run(argv + ["-colorspace", "gray", "-resize", scale, "-threshold", threshold, prepared],
                   check=True, timeout=60)
    return subprocess.run(["tesseract", prepared, "-", "--psm", "6"], capture_output=True, text=True,
                          timeout=120).stdout


def read_counters(png, geometry):
    """The three counters as OCR reads them off the status area: each a line whose label
    starts with P, F or N and which ends in a number. A small digit is easily misread once, so
    the area is read at several sizes and contrasts and each counter takes the most frequent
    reading."""
    votes = {"Pass": [], "Fail": [], "N/A": []}
    texts = []
    for scale in ("300%", "400%", "500%", "600%"):
        for threshold in ("50%", "60%", "70%"):
            text = ocr(png, scale, geometry, threshold)
            texts.append(text)
            for line in text.splitlines():
                match = re.match(r"\s*([PFN])\S*\s*:?\s*(\d+)\s*$", line)
                if match:
                    votes[{"P": "Pass", "F": "Fail", "N": "N/A"}[match.group(1)]].append(int(match.group(2)))
    found = {label: max(set(v), key=v.count) if v else None for label, v in votes.items()}
    return found, texts[0]


def expected_counts(status_file):
    values = re.split(r"[,\r\n]+", open(status_file).read().strip())
    values = [int(v) for v in values if v.strip()]
    return {"Pass": values.count(1), "Fail": values.count(-1), "N/A": values.count(0)}


def window_geometry(desk, wid):
    out = desk.run(["xdotool", "getwindowgeometry", wid])
    pos = re.search(r"Position: (\d+),(\d+)", out)
    size = re.search(r"Geometry: (\d+)x(\d+)", out)
    return tuple(map(int, pos.groups())) + tuple(map(int, size.groups()))


def check_window(desk, wine, check, exe, samples, work, linux_text):
    log_folder = os.path.join(work, "logs")
    shutil.rmtree(log_folder, ignore_errors=True)
    shutil.copytree(samples, log_folder)
    log = os.path.join(log_folder, "scope-fail.log")
    # An absolute path with a drive letter, from another working folder.
    program = Program(desk, wine, None, work)
    program.proc = wine.start([exe, windows_path(log)], cwd=work)
    main = desk.window_named(CAPTION, timeout=60)
    check.equal("main window title (xprop)", main["name"], CAPTION)
    check.true("main window has no maximize button", "_NET_WM_ACTION_MAXIMIZE_HORZ" not in main["actions"],
               str(main["actions"]))
    # The splash closes after 3 seconds; then the log opens.
    time.sleep(5)
    desk.run(["xdotool", "windowactivate", "--sync", main["id"]])
    time.sleep(1)
    program.screenshot("main-window")
    desk.key("ctrl+a", "ctrl+c")
    text = wait_for("the log's text on the clipboard", lambda: clipboard(desk) or None, 10)
    check.true("the log's text (Select All, Copy) is vrxlog's text",
               text.replace("\r\n", "\n").rstrip("\n") == linux_text.rstrip("\n"),
               first_difference(linux_text.encode(), text.encode()))
    # View -> Show Test Status uncovers the counters.
    desk.key("alt+v")
    desk.key("s")
    time.sleep(1)
    shot = program.screenshot("status-shown")
    x, y, w, h = window_geometry(desk, main["id"])
    # The counters and their captions stand right of the list, in the status area at the top.
    counters, raw = read_counters(shot, f"{w // 3}x{h * 5 // 24}+{x + w * 3 // 5}+{y}")
    check.true("counters read off the window", counters == expected_counts(log[:-3] + "tst"),
               f"{counters} from {raw!r}")
    return program, main


def queue_jobs(queue):
    out = subprocess.run(["lpstat", "-W", "completed", "-o", queue], capture_output=True, text=True).stdout
    return set(re.findall(r"^" + re.escape(queue) + r"-(\d+)", out, re.M))


def check_print(desk, wine, check, program, main, work):
    """File > Print to the queue after the default one: the job arrives there as a PDF with
    the printed layout, and Wine's default printer is the one it was before."""
    before = wine.reg_value(DEVICE_KEY, "Device")
    queues = ["VRX-PDF-A", "VRX-PDF-B", "VRX-PDF-C"]
    default = (before or "").split(",")[0]
    check.true("Wine has a CUPS queue as its default printer", default in queues, before)
    if default not in queues:
        return
    # The dialog lists the queues in order: Down picks the next one, Up the one before the last.
    other, key = (queues[1], "Down") if default == queues[0] else (queues[queues.index(default) - 1], "Up")
    jobs_before = queue_jobs(other)
    pdf_dir = os.path.expanduser("~/PDF")
    old = set(glob.glob(os.path.join(pdf_dir, "*.pdf")))
    desk.run(["xdotool", "windowactivate", "--sync", main["id"]])
    desk.key("alt+f")
    desk.key("p")
    dialog = desk.window_named("Print", timeout=20)
    desk.key(key)
    program.screenshot("print-dialog")
    desk.key("Return")
    desk.gone(dialog["id"], timeout=20)

    def arrived():
        new = set(glob.glob(os.path.join(pdf_dir, "*.pdf"))) - old
        return sorted(new) if new and queue_jobs(other) - jobs_before else None
    try:
        pdfs = wait_for(f"the job on {other} and its PDF in ~/PDF", arrived, 90)
    except AssertionError as error:
        check.true("a print through Wine arrives as a PDF", False, str(error))
        return
    # Wine's printer driver draws the text as outlines: the page is read by OCR.
    page = os.path.join(work, "printed-page")
    subprocess.run(["pdftoppm", "-r", "150", "-png", "-f", "1", "-l", "1", pdfs[0], page], check=True, timeout=60)
    text = ocr(glob.glob(page + "*.png")[0], scale="200%")
    check.true("the printed page carries its footer", "Page 1 of 1" in text, text[-300:])
    check.true("the printed page holds the log's first line", "VRX VERIFICATION LOG" in text, text[:300])
    after = wine.reg_value(DEVICE_KEY, "Device")
    check.equal("Wine's default printer after printing on another", after, before)


def check_update(desk, wine, check, exe, work):
    server = VersionServer(f"{TITLE}: 9.9\n")
    try:
        program = Program(desk, wine, exe, work, {"VRXPV_SITE_URL": server.url})
        main = desk.window_named(CAPTION, timeout=60)
        time.sleep(4)   # the splash
        desk.run(["xdotool", "windowactivate", "--sync", main["id"]])
        desk.key("alt+a")
        about = desk.window_named(ABOUT, timeout=20)
        program.screenshot("about-window")
        # Check for Update is last in the tab order after Close.
        desk.key("shift+Tab")
        desk.key("space")
        box = wait_for("the update answer", lambda: next(
            (desk.props(w) for w in desk.windows() if desk.props(w)["name"] not in (CAPTION, ABOUT)), None), 30)
        program.screenshot("update-answer")
        desk.key("ctrl+c")
        text = clipboard(desk)
        check.true("the update check asked the loopback server", "/dl/swv.txt" in server.requests, str(server.requests))
        check.true("the answer names the newer version", "A newer version  (  9.9 )  is available." in text, text)
        desk.key("n")
        desk.key("Escape")
        desk.gone(about["id"], timeout=20)
        downloaded = glob.glob(os.path.join(wine.prefix, "drive_c/users/*/AppData/Roaming/vbTemp/versions.txt"))
        check.true("the version file is kept under %AppData%\\vbTemp", len(downloaded) == 1, str(downloaded))
        program.proc.terminate()
    finally:
        server.close()


def main():
    parser = argparse.ArgumentParser()
    for option in ("--setup", "--zip", "--vrxlog-linux", "--samples", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()

    missing = [t for t in TOOLS if shutil.which(t) is None]
    if missing:
        print("test_windows: missing " + ", ".join(missing))
        return 1 if os.environ.get("CI") == "true" else 77

    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    check = Check()
    desk = Desktop(work)
    wine = None
    try:
        wine = Wine(os.path.join(work, "prefix"), desk.env)
        with zipfile.ZipFile(args.zip) as archive:
            check.equal("the zip holds the two programs", sorted(archive.namelist()), ["vrxlog.exe", "vrxpv.exe"])
        folder = check_installer(wine, check, os.path.abspath(args.setup))
        exe = os.path.join(folder, "vrxpv.exe")
        corpus = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "fuzz", "corpus", "log_reader")
        check_vrxlog(wine, check, os.path.join(folder, "vrxlog.exe"), os.path.abspath(args.vrxlog_linux),
                     os.path.abspath(args.samples), corpus, work)
        linux_text = subprocess.run([args.vrxlog_linux, "text", os.path.join(args.samples, "scope-fail.log")],
                                    capture_output=True, text=True).stdout
        program, main_window = check_window(desk, wine, check, exe, os.path.abspath(args.samples), work, linux_text)
        check_print(desk, wine, check, program, main_window, work)
        desk.run(["xdotool", "windowactivate", "--sync", main_window["id"]])
        desk.key("alt+f")
        time.sleep(0.5)
        desk.key("e")
        try:
            desk.gone(main_window["id"], timeout=10)
        except AssertionError:
            check.true("File > Exit closes the window", False)
            desk.key("Escape", "alt+F4")
        check.true("vrxpv.exe ends after Exit", wine.wait(30))
        check.true("the folder of the log is kept in the registry",
                   (wine.reg_value(SETTINGS_KEY, "DefaultPath") or "").endswith("\\logs"),
                   str(wine.reg_value(SETTINGS_KEY, "DefaultPath")))
        check_update(desk, wine, check, exe, work)
        wine.wait()
        check_uninstaller(wine, check, folder)
    except Exception:
        check.failures.append("the test stopped: " + traceback.format_exc())
        if desk:
            desk.screenshot(os.path.join(work, "failure.png"))
    finally:
        if wine:
            wine.close()
        desk.close()
    for failure in check.failures:
        print("FAIL: " + failure)
    print(f"test_windows: {'failed' if check.failures else 'passed'}; screenshots in {work}")
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
