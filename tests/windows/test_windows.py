#!/usr/bin/python3
"""The Windows programs under Wine, on an X server of their own, looked at from outside.

In a Wine prefix of its own: the zip and the installer hold the programs with the DLLs, plugins
and licences laid out for them; the installer runs silently and puts all of it, the Start-menu
entries and the "Open With" entry where it says; the programs load Qt and the run time from
their own folder, and every DLL shipped is one they load; vrxlog.exe gives byte for byte what the
Linux vrxlog gives on the same logs (text, status, and the PDF's pages as text); vrxpv.exe shows
a log with its caption, text and counters, follows it as it grows, goes to its first failure
with F8 and tells a rewrite under it; prints the pages chosen in Windows' print dialog, and
nothing, with a message, for a range that counts down; prints through Wine's printers (the CUPS queues, with
a default of the prefix's own) and leaves the default printer as it was, Wine's and the
machine's; checks for an update against a loopback server; keeps its setting in the registry;
the uninstaller removes everything but that setting. Screenshots go into the work folder. Exit 0
passed, 1 failed, 77 skipped (a tool missing, not allowed under CI=true).

Usage: test_windows.py --setup SETUP.exe --zip ZIP --stage DIR --vrxlog-linux VRXLOG --samples DIR --work DIR
(DIR after --stage: the programs' folder as scripts/windows-deploy laid it out)
"""

import argparse
import glob
import os
import pwd
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
START_MENU = f"ProgramData/Microsoft/Windows/Start Menu/Programs/{TITLE}"
# The queues of scripts/start-cups. The prefix takes the first as its default printer, whatever
# the machine's or the user's default is (CUPS gives LPDEST precedence over both).
QUEUES = ["VRX-PDF-A", "VRX-PDF-B", "VRX-PDF-C"]
TOOLS = ["Xvfb", "openbox", "xprop", "xdotool", "import", "xclip", "pdftotext", "pdfinfo", "tesseract", "lpstat"]


class Wine:
    """A Wine prefix of the test's own; programs run with Wine's messages off."""

    def __init__(self, prefix, display_env):
        self.wine = shutil.which("wine64") or "/usr/lib/wine/wine64"
        self.server = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
        self.env = dict(display_env)
        self.env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINELOADER=self.wine,
                        WINEDLLOVERRIDES="mscoree,mshtml=", LPDEST=QUEUES[0])
        self.env.pop("PRINTER", None)
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

    def start(self, argv, env=None, stderr=subprocess.DEVNULL, **kwargs):
        return subprocess.Popen([self.wine, *argv], env=env or self.env, stdout=subprocess.DEVNULL,
                                stderr=stderr, **kwargs)

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


def drive_c_path(path):
    """A path under the prefix's drive C: as Windows names it, as a user starts a program there
    (Wine started with a Linux path would name the program, and the DLLs beside it, by Z:)."""
    return "C:\\" + path.replace("/", "\\")


# ---- the installer ----

def files_in(folder):
    return sorted(os.path.relpath(os.path.join(root, name), folder).replace(os.sep, "/")
                  for root, _, names in os.walk(folder) for name in names)


def check_layout(check, stage, zip_path):
    """The programs' folder as laid out, and the zip holding exactly that."""
    shipped = files_in(stage)
    for name in ("vrxpv.exe", "vrxlog.exe", "qt.conf", "Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll",
                 "Qt6PrintSupport.dll", "platforms/qwindows.dll", "styles/qwindowsvistastyle.dll",
                 "licences/README.txt", "licences/Qt-LGPL-3.0.txt", "licences/GPL-3.0.txt",
                 "licences/Qt-third-party.txt", "licences/curl.txt", "licences/MinGW-w64-runtime.txt"):
        check.true(f"shipped: {name}", name in shipped, str(shipped))
    with zipfile.ZipFile(zip_path) as archive:
        check.equal("the zip holds the programs' folder as laid out", sorted(archive.namelist()), shipped)
    notices = open(os.path.join(stage, "licences", "Qt-third-party.txt"), encoding="utf-8").read()
    for part in ("HarfBuzz", "PCRE2", "zlib", "Freetype", "LibPNG", "double-conversion", "MD4C"):
        check.true(f"Qt's third-party notices name {part}", part.lower() in notices.lower())
    check.true("Qt's third-party notices leave out what is not built for Windows",
               "xcb" not in notices.lower() and "Vulkan Memory Allocator" not in notices, "")
    return shipped


def check_unzipped(wine, check, zip_path, samples, work):
    """The zip unpacked into a folder of the user's choosing: vrxlog.exe draws a PDF there with
    Qt and its plugin from that folder."""
    where = "users/Public/Documents/vrxpv 1.3 from the zip"
    folder = wine.drive_c(where)
    shutil.rmtree(folder, ignore_errors=True)
    with zipfile.ZipFile(zip_path) as archive:
        archive.extractall(folder)
    pdf = os.path.join(work, "from-zip.pdf")
    trace = os.path.join(work, "unzipped-loaddll.txt")
    with open(trace, "wb") as out:
        result = subprocess.run([wine.wine, drive_c_path(where + "/vrxlog.exe"), "pdf", "-o", windows_path(pdf),
                                 windows_path(os.path.join(samples, "scope-fail.log"))],
                                env=dict(wine.env, WINEDEBUG="+loaddll"),
                                stdout=subprocess.DEVNULL, stderr=out, timeout=120)
    check.equal("vrxlog.exe from the unpacked zip: exit status", result.returncode, 0)
    check.true("vrxlog.exe from the unpacked zip: the PDF's page", "Page 1 of 1" in (pdf_text(pdf) if os.path.exists(pdf) else ""))
    own = drive_c_path(where).lower() + "\\"
    loaded = loaded_dlls(trace)
    for name in ("qt6core.dll", "qt6gui.dll", "platforms\\qwindows.dll"):
        check.true(f"vrxlog.exe from the unpacked zip loads its own {name}", own + name in loaded, str(sorted(loaded)))
    shutil.rmtree(folder, ignore_errors=True)


def check_installer(wine, check, setup, shipped):
    result = wine.run([setup, "/S", "/VRXLOG"], timeout=300)
    wine.wait()
    check.equal("installer exit status", result.returncode, 0)
    folder = wine.drive_c(INSTALL_DIR)
    check.equal(f"installed into {INSTALL_DIR}", files_in(folder), sorted(shipped + ["uninstall.exe"]))
    for name in (f"{TITLE}.lnk", "Licences.lnk"):
        shortcut = wine.drive_c(f"{START_MENU}/{name}")
        check.true(f"Start menu: {name}", os.path.isfile(shortcut), shortcut)
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
               str(files_in(folder)) if os.path.isdir(folder) else "")
    check.true("the uninstaller removes the Start-menu folder", not os.path.exists(wine.drive_c(START_MENU)))
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
            env = dict(wine.env, WINEDEBUG="+loaddll") if side == "windows" else None
            result = subprocess.run([*program, "pdf", "-o", pdf, log], cwd=folder, env=env,
                                    capture_output=True, timeout=120)
            check.equal(f"vrxlog pdf {log} on {side}: exit status", result.returncode, 0)
            if side == "windows":
                with open(os.path.join(work, "vrxlog-loaddll.txt"), "ab") as trace:
                    trace.write(result.stderr)
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
    # Wine tells each DLL the program loads, and from where.
    program.loaded = os.path.join(work, "vrxpv-loaddll.txt")
    started = time.monotonic()
    program.proc = wine.start([exe, windows_path(log)], cwd=work, env=dict(wine.env, WINEDEBUG="+loaddll"),
                              stderr=open(program.loaded, "w"))
    main = desk.window_named(CAPTION, timeout=60)
    print(f"test_windows: vrxpv.exe showed its window {time.monotonic() - started:.1f} s after it was started")
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


def check_follow(desk, check, program, main, log, vrxlog_linux):
    """A log that a test writes while the window shows it: the line added (its line end written
    apart) shows with no question; F8 selects the first failed line; rewritten in place
    afterwards, every line as long and its time put back, the change is told (the change time
    says it) and the window keeps the log as it was read."""
    added = b"Test 99 \x04\x01#9.9\x05 \x03 \x0e 5.0\x05 \x01\"\x10\r\n"
    with open(log, "ab") as f:
        f.write(added[:-2])
        f.flush()
        time.sleep(0.4)
        f.write(added[-2:])
    expected = subprocess.run([vrxlog_linux, "text", log], capture_output=True, text=True).stdout.rstrip("\n")
    desk.run(["xdotool", "windowactivate", "--sync", main["id"]])

    def copied():
        desk.key("ctrl+a", "ctrl+c")
        time.sleep(0.3)
        text = clipboard(desk).replace("\r\n", "\n").rstrip("\n")
        return text if text == expected else None
    try:
        wait_for("the line added shown (Select All, Copy)", copied, 10, 0.5)
        check.true("a log grown while shown: the line added shows", True)
    except AssertionError as error:
        check.true("a log grown while shown: the line added shows", False, str(error))
    names = [desk.props(w)["name"] for w in desk.windows()]
    check.equal("a log grown while shown: no message", [n for n in names if n != CAPTION], [])

    desk.key("ctrl+Home", "F8", "ctrl+c")
    time.sleep(0.5)
    failed = next(line for line in expected.split("\n") if re.search(r"\bFAIL\b", line))
    check.equal("F8: the first failed line selected", clipboard(desk).rstrip("\r\n"), failed)
    program.screenshot("f8-first-failure")

    before = os.stat(log)
    with open(log, "r+b") as f:
        data = f.read()
        f.seek(0)
        f.write(data.replace(b"\x0f", b"\x10"))
    os.utime(log, ns=(before.st_atime_ns, before.st_mtime_ns))
    try:
        message = desk.window_named(TITLE, timeout=15)
    except AssertionError as error:
        check.true("a log rewritten as long, its time put back: the change told", False, str(error))
        return
    program.screenshot("rewritten-told")
    desk.key("n")
    desk.gone(message["id"])
    desk.run(["xdotool", "windowactivate", "--sync", main["id"]])
    desk.key("ctrl+a", "ctrl+c")
    time.sleep(0.5)
    check.true("a log rewritten under the window: Copy gives the log as it was read",
               clipboard(desk).replace("\r\n", "\n").rstrip("\n") == expected)


def loaded_dlls(trace):
    """The DLLs a program loaded, from Wine's loaddll trace: lower-case Windows paths."""
    found = re.findall(r'Loaded L"(.*?)" at \S+: native', open(trace, encoding="utf-8", errors="replace").read())
    return {path.replace("\\\\", "\\").lower() for path in found}


def check_own_dlls(check, traces, shipped):
    """Every DLL of Qt and of the run time comes from the program's own folder, never from the
    machine that built it; every DLL shipped is one the programs load."""
    own = drive_c_path(INSTALL_DIR).lower() + "\\"
    loaded = set().union(*(loaded_dlls(t) for t in traces))
    foreign = sorted(p for p in loaded if not p.startswith(own) and not p.startswith("c:\\windows\\"))
    check.true("the programs load no DLL from outside their folder and Windows", not foreign, str(foreign))
    wanted = {own + name.replace("/", "\\").lower() for name in shipped if name.lower().endswith(".dll")}
    check.true("the programs load every DLL shipped", wanted <= loaded, str(sorted(wanted - loaded)))
    for name in ("qt6core.dll", "platforms\\qwindows.dll", "styles\\qwindowsvistastyle.dll"):
        check.true(f"{name} loaded from the program's folder", own + name in loaded, str(sorted(loaded)))


def machine_default_printer():
    """The default printer as the user running the tests has it (lpstat -d)."""
    return subprocess.run(["lpstat", "-d"], capture_output=True, text=True).stdout.strip()


def queue_jobs(queue):
    out = subprocess.run(["lpstat", "-W", "completed", "-o", queue], capture_output=True, text=True).stdout
    return set(re.findall(r"^" + re.escape(queue) + r"-(\d+)", out, re.M))


def check_print(desk, wine, check, program, main, work):
    """File > Print to the queue after the prefix's default one: the job arrives there as a PDF
    with the printed layout, and Wine's default printer is the one it was before."""
    before = wine.reg_value(DEVICE_KEY, "Device")
    check.equal("the prefix's own default printer", (before or "").split(",")[0], QUEUES[0])
    if not (before or "").startswith(QUEUES[0] + ","):
        return
    # The dialog lists the queues by name: Down picks the next one.
    other, key = QUEUES[1], "Down"
    jobs_before = queue_jobs(other)
    # cups-pdf writes into the home folder the user database names, whatever HOME says.
    pdf_dir = os.path.join(pwd.getpwuid(os.getuid()).pw_dir, "PDF")
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


def check_page_range(desk, wine, check, exe, work):
    """Pages chosen in Windows' print dialog (Wine's): a range that counts down prints nothing and
    the program says so; pages 2 to 3 of a 4-page log print those two."""
    log = os.path.join(work, "logs", "four.log")
    with open(log, "wb") as f:
        f.write(b"".join(b"Line %d \x0f\r\n" % i for i in range(1, 4 * 48 + 1)))
    with open(log[:-3] + "tst", "wb") as f:
        f.write(b"1\r\n")
    program = Program(desk, wine, None, work)
    program.proc = wine.start([exe, windows_path(log)], cwd=work)
    main = desk.window_named(CAPTION, timeout=60)
    time.sleep(5)
    pdf_dir = os.path.join(pwd.getpwuid(os.getuid()).pw_dir, "PDF")
    for first, last, pages in (("3", "1", 0), ("2", "3", 2)):
        old = set(glob.glob(os.path.join(pdf_dir, "*.pdf")))
        jobs_before = queue_jobs(QUEUES[0])
        desk.run(["xdotool", "windowactivate", "--sync", main["id"]])
        desk.key("alt+f")
        desk.key("p")
        dialog = desk.window_named("Print", timeout=20)
        time.sleep(1)

        def click(x, y, times=1):
            desk.run(["xdotool", "mousemove", "--window", dialog["id"], str(x), str(y), "click", "--repeat",
                      str(times), "1"])
            time.sleep(0.2)
        # Pages, from, to, where the dialog has them.
        click(30, 191)
        click(129, 191, 2)
        desk.key("ctrl+a", "BackSpace")
        desk.type(first)
        click(199, 191, 2)
        desk.key("ctrl+a", "BackSpace")
        desk.type(last)
        program.screenshot(f"pages-{first}-{last}")
        desk.key("Return")
        desk.gone(dialog["id"], timeout=20)
        if pages == 0:
            try:
                box = desk.window_named(TITLE, timeout=15)
                program.screenshot(f"pages-{first}-{last}-told")
                desk.key("Return")
                desk.gone(box["id"])
                check.true(f"pages {first} to {last}: the program says so", True)
            except AssertionError as error:
                check.true(f"pages {first} to {last}: the program says so", False, str(error))
            time.sleep(3)
            check.equal(f"pages {first} to {last}: nothing printed",
                        sorted(set(glob.glob(os.path.join(pdf_dir, "*.pdf"))) - old), [])
            continue
        try:
            # The job done, so that its PDF is whole.
            new = wait_for(f"pages {first} to {last} in ~/PDF",
                           lambda: (queue_jobs(QUEUES[0]) - jobs_before
                                    and sorted(set(glob.glob(os.path.join(pdf_dir, "*.pdf"))) - old)) or None, 90)
        except AssertionError as error:
            check.true(f"pages {first} to {last} printed", False, str(error))
            continue
        info = subprocess.run(["pdfinfo", new[0]], capture_output=True, text=True).stdout
        check.true(f"pages {first} to {last}: two pages printed", re.search(r"^Pages:\s+2$", info, re.M) is not None,
                   info)
    desk.run(["xdotool", "windowactivate", "--sync", main["id"]])
    desk.key("alt+f")
    time.sleep(0.5)
    desk.key("e")
    check.true("vrxpv.exe ends after Exit", wine.wait(30))


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
    for option in ("--setup", "--zip", "--stage", "--vrxlog-linux", "--samples", "--work"):
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
    default_printer = machine_default_printer()
    desk = Desktop(work)
    wine = None
    try:
        wine = Wine(os.path.join(work, "prefix"), desk.env)
        shipped = check_layout(check, args.stage, args.zip)
        check_unzipped(wine, check, args.zip, os.path.abspath(args.samples), work)
        folder = check_installer(wine, check, os.path.abspath(args.setup), shipped)
        exe = drive_c_path(INSTALL_DIR + "/vrxpv.exe")
        corpus = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "fuzz", "corpus", "log_reader")
        check_vrxlog(wine, check, drive_c_path(INSTALL_DIR + "/vrxlog.exe"), os.path.abspath(args.vrxlog_linux),
                     os.path.abspath(args.samples), corpus, work)
        linux_text = subprocess.run([args.vrxlog_linux, "text", os.path.join(args.samples, "scope-fail.log")],
                                    capture_output=True, text=True).stdout
        program, main_window = check_window(desk, wine, check, exe, os.path.abspath(args.samples), work, linux_text)
        check_follow(desk, check, program, main_window, os.path.join(work, "logs", "scope-fail.log"),
                     os.path.abspath(args.vrxlog_linux))
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
        check_own_dlls(check, [program.loaded, os.path.join(work, "vrxlog-loaddll.txt")], shipped)
        check.true("the folder of the log is kept in the registry",
                   (wine.reg_value(SETTINGS_KEY, "DefaultPath") or "").endswith("\\logs"),
                   str(wine.reg_value(SETTINGS_KEY, "DefaultPath")))
        check_update(desk, wine, check, exe, work)
        wine.wait()
        check_page_range(desk, wine, check, exe, work)
        check_uninstaller(wine, check, folder)
    except Exception:
        check.failures.append("the test stopped: " + traceback.format_exc())
        if desk:
            desk.screenshot(os.path.join(work, "failure.png"))
    finally:
        if wine:
            wine.close()
        desk.close()
    check.equal("the machine's default printer after the test", machine_default_printer(), default_printer)
    for failure in check.failures:
        print("FAIL: " + failure)
    print(f"test_windows: {'failed' if check.failures else 'passed'}; screenshots in {work}")
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
