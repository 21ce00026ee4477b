#!/usr/bin/python3
"""vrxpv on a real X server, looked at from outside as a desktop and a screen reader do.

Starts Xvfb, openbox and the accessibility bus, runs the program as users get it (the xcb
platform, accessibility on), drives it with the keyboard and checks, window by window, the
title bar text, the window hints, the accessibility tree and what the windows show.
Screenshots go into the output folder. Exit 0 passed, 1 failed, 77 skipped (tools missing,
not allowed under CI=true).

Usage: test_desktop.py VRXPV VRXLOG SAMPLES_DIR OUTPUT_DIR
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import Check, Desktop, Node, VersionServer, missing_tools, wait_for  # noqa: E402

TITLE = "View & Print VRX Log Files"
CAPTION = TITLE + ", v1.3 - Jan 2025 / QX"
ABOUT = "About " + TITLE
VERSION_BOX = "Current Version: 1.3"
QUESTION = "Goto the Program Homepage for info ?"

# About a gigabyte: two threads read a log from the page cache at about 1 GB/s here, and the
# reading has to go on long enough for a screen reader to read a line meanwhile and see it still
# going on. Written in a fraction of a second.
LARGE_LOG_BYTES = 1000 << 20

# _MOTIF_WM_HINTS: flags, functions, decorations.
MWM_FLAG_FUNCTIONS, MWM_FLAG_DECORATIONS = 1, 2
MWM_FUNC_ALL, MWM_FUNC_MINIMIZE, MWM_FUNC_MAXIMIZE, MWM_FUNC_CLOSE = 1, 8, 16, 32


class Session:
    def __init__(self, desk, check, out):
        self.desk, self.check, self.out = desk, check, out
        self.proc = None
        self.shot = 0

    def screenshot(self, name):
        self.shot += 1
        self.desk.screenshot(os.path.join(self.out, f"{self.shot:02d}-{name}.png"))

    def tree(self):
        """The program's accessibility tree as a screen reader reads it now."""
        app = self.desk.application("vrxpv")
        self.desk.fresh(app)
        return Node(app, self.desk.Atspi)

    def window_tree(self, title):
        """The accessible top-level window named `title` (frame or dialog)."""
        def find():
            for child in self.tree().children:
                if child.name == title:
                    return child
            return None
        return wait_for(f'"{title}" in the accessibility tree', find, 10)

    def fixed_size(self, what, props):
        self.check.true(f"{what}: fixed size (minimum = maximum size hint)",
                        props["min"] is not None and props["min"] == props["max"],
                        f"minimum {props['min']}, maximum {props['max']}")

    def labels_read_as_shown(self, what, window):
        """Every control has a role and a name; labels carry their own text as name."""
        for node in window.walk():
            if node.role in ("filler", "scroll bar", "separator", "popup menu", "menu bar", "panel"):
                continue
            self.check.true(f"{what}: {node.role} has a name", node.name.strip() != "", node.dump())

    def message_box(self, title, text, answer_keys, screenshot):
        """Waits for a message box, checks its title bar and what a screen reader reads in it,
        then answers it with keys."""
        props = self.desk.window_named(title)
        self.fixed_size(f'box "{title}"', props)
        box = self.window_tree(title)
        texts = [n.name for n in box.walk() if n.role == "label"]
        self.check.true(f'box "{title}" reads its text', text in texts, f"labels {texts}")
        self.screenshot(screenshot)
        self.desk.key(*answer_keys)
        self.desk.gone(props["id"])


def menu_states(tree):
    return {n.name: n.enabled for n in tree.walk() if n.role in ("menu item", "check menu item")}


def run(desk, check, vrxpv, vrxlog, samples, out, server):
    with tempfile.TemporaryDirectory(prefix="vrxpv-desktop-") as private:
        run_in(desk, check, vrxpv, vrxlog, samples, out, server, private)


def run_in(desk, check, vrxpv, vrxlog, samples, out, server, private):
    home, runtime = os.path.join(private, "home"), os.path.join(private, "run")
    os.makedirs(home)
    os.mkdir(runtime, 0o700)
    env = dict(desk.env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local/share"), XDG_CACHE_HOME=os.path.join(home, ".cache"),
               XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               VRXPV_SITE_URL=server.url, LANG="C.UTF-8")
    for name in ("AppData", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "QT_STYLE_OVERRIDE"):
        env.pop(name, None)
    s = Session(desk, check, out)
    large = os.path.join(private, "large.log")
    growing = os.path.join(private, "growing.log")
    with open(growing, "wb") as f:
        f.write(GROWING_START)
    with open(growing[:-3] + "tst", "wb") as f:
        f.write(b"1\r\n1\r\n")
    # First as started from the menu, then as a file manager starts it for a log (Exec=vrxpv %f),
    # then so for a log that takes a while to read.
    for argv, cwd, play in (([vrxpv], None, lambda: scenario(s, desk, check, vrxlog, samples, server)),
                            ([vrxpv, "scope-fail.log"], samples, lambda: from_file_manager(s, desk, check, vrxlog, samples)),
                            ([vrxpv, large], None, lambda: while_reading(s, desk, check, vrxlog, samples)),
                            ([vrxpv, growing], None, lambda: while_written(s, desk, check, vrxlog, growing))):
        if argv[-1] == large:
            write_large_log(os.path.join(samples, "scope-fail"), large[:-4])
        s.proc = subprocess.Popen(argv, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                                  stderr=open(os.path.join(out, "vrxpv.stderr"), "a"))
        try:
            play()
        finally:
            if s.proc.poll() is None:
                s.proc.kill()
                s.proc.wait()
            if argv[-1] == large:
                os.remove(large)
                os.remove(large[:-3] + "tst")


def log_shown(s, check, vrxlog, log, what, timeout):
    """Waits for the log in Display and checks that the screen reader reads `vrxlog text` there."""
    expected = subprocess.run([vrxlog, "text", log], capture_output=True, text=True, encoding="utf-8").stdout
    window = wait_for(what + "the log in Display", lambda: (lambda w: w if (w.find(role="text").text or "") else None)(
        s.window_tree(CAPTION)), timeout)
    shown = window.find(role="text").text.replace("\u2028", "\n").replace("\r\n", "\n")
    check.equal(what + "Display read by the screen reader", shown, expected.rstrip("\n"))
    check.equal(what + "the line at the caret read by the screen reader", window.find(role="text").caret_line,
                expected.split("\n", 1)[0] + "\n")
    return window


def exit_by_menu(s, desk, check, what):
    desk.key("alt+f", "e")
    try:
        code = s.proc.wait(10)
    except subprocess.TimeoutExpired:
        code = None
    check.equal(what + "exit status after File, Exit", code, 0)


def from_file_manager(s, desk, check, vrxlog, samples):
    # The log opens once the splash is gone, with no dialog on the way.
    window = log_shown(s, check, vrxlog, os.path.join(samples, "scope-fail.log"), "command line: ", 15)
    check.true("command line: Print enabled", menu_states(window).get("Print"), str(menu_states(window)))

    # Find: Ctrl+F opens the find window; Enter selects the first match after the caret.
    desk.key("ctrl+f")
    find = desk.window_named("Find")
    desk.type("fail")
    s.screenshot("find")
    desk.key("Return")
    display = s.window_tree(CAPTION).find(role="text")
    start, end = display.selection or (0, 0)
    check.equal("find: the match selected in Display", display.text[start:end], "FAIL")
    check.true("find: the first FAIL line", "0.2V/div" in display.text[max(0, start - 80):start],
               display.text[max(0, start - 80):end])

    # The keyboard alone drives it: each control's access key, then a text that is not there.
    desk.key("alt+m", "alt+u")
    tree = s.window_tree("Find")
    check.true("find: Alt+M checks Match case", tree.find(name="Match case").checked)
    check.true("find: Alt+U chooses Up", tree.find(name="Up").checked and not tree.find(name="Down").checked)
    desk.key("alt+m", "alt+d")
    tree = s.window_tree("Find")
    check.true("find: Alt+M again clears Match case", not tree.find(name="Match case").checked)
    check.true("find: Alt+D chooses Down", tree.find(name="Down").checked)
    desk.key("alt+w")
    desk.type("no such text")
    desk.key("alt+n")
    s.message_box(TITLE, 'Cannot find "no such text"', ["Return"], "cannot-find")
    # Back in the find window, in its text: Enter searches again, Escape closes it.
    active = re.findall(r"0x[0-9a-f]+", desk.xprop_root("_NET_ACTIVE_WINDOW"))
    check.equal("find: the active window after Cannot find", active, [find["id"]])
    text = s.window_tree("Find").find(role="text")
    check.true("find: the text has the focus after Cannot find", text is not None and text.focused,
               text.dump() if text else "no text")
    s.screenshot("find-after-cannot-find")
    desk.key("Escape")
    desk.gone(find["id"])
    exit_by_menu(s, desk, check, "command line: ")


def write_large_log(sample, path):
    """sample.log over and over as path.log, LARGE_LOG_BYTES long, and sample's status file."""
    with open(sample + ".log", "rb") as f:
        block = f.read()
    block *= (1 << 20) // len(block)
    with open(path + ".log", "wb") as f:
        for _ in range(LARGE_LOG_BYTES // len(block)):
            f.write(block)
    shutil.copyfile(sample + ".tst", path + ".tst")


def accessible_with_role(acc, role, depth=0):
    """The first accessible of `role` at or under acc. No text is read on the way: Display may
    hold hundreds of megabytes."""
    if acc.get_role_name() == role:
        return acc
    if depth < 12:
        for i in range(acc.get_child_count()):
            child = acc.get_child_at_index(i)
            found = child is not None and accessible_with_role(child, role, depth + 1)
            if found:
                return found
    return None


def while_reading(s, desk, check, vrxlog, samples):
    # The first lines of a large log are there at once and read by the screen reader while the
    # rest is read, with the reading's progress in Display; Exit then ends the program at once.
    Atspi = desk.Atspi
    expected = subprocess.run([vrxlog, "text", os.path.join(samples, "scope-fail.log")], capture_output=True,
                              text=True, encoding="utf-8").stdout.split("\n", 1)[0]
    app = desk.application("vrxpv")

    def progress():
        desk.fresh(app)
        for i in range(app.get_child_count()):
            frame = app.get_child_at_index(i)
            if frame is not None and frame.get_name() == CAPTION:
                # Once hidden, the bar stays in the tree, no longer showing.
                bar = accessible_with_role(frame, "progress bar")
                if bar is not None and bar.get_state_set().contains(Atspi.StateType.SHOWING):
                    return frame, bar
        return None
    frame, bar = wait_for("the reading's progress in Display", progress, 15, 0.05)
    display = accessible_with_role(frame, "text")
    first = Atspi.Text.get_text_at_offset(display, 0, Atspi.TextBoundaryType.LINE_START).content
    percent = Atspi.Value.get_current_value(bar)
    still = progress()
    s.screenshot("large-log-reading")
    check.equal("large log: the first line read while the log is read", first.rstrip("\n"), expected)
    check.equal("large log: the progress read", bar.get_name(), "Reading the log")
    check.true("large log: the reading still going on after the first line was read",
               still is not None and percent < 100, f"{percent} %")
    started = time.monotonic()
    exit_by_menu(s, desk, check, "large log: ")
    # The keys alone take about half a second to type.
    check.true("large log: Exit ends the program at once", time.monotonic() - started < 2.5,
               f"{time.monotonic() - started:.1f} s")


# A log a test writes while the window shows it: its first lines, then one line at a time, one of
# them failed, the status file following.
GROWING_START = b"Test 1 \x02 CH1\x01\"5.00\x05/\x07 \x0f\r\nTest 2 \x02 CH2\x01\"2.00\x05/\x07 \x0f\r\n"
GROWING_LINES = [(b"Test %d \x04\x01#%d.0\x05 \x03 \x0e 5.0\x05 \x01\"%s\r\n" % (n, n, b"\x10" if n == 6 else b"\x0f"),
                  b"-1\r\n" if n == 6 else b"1\r\n") for n in range(3, 10)]


def while_written(s, desk, check, vrxlog, log):
    # Each line shows as it is written, with no question; the counters follow the status file;
    # F8 then selects the failed line.
    window = log_shown(s, check, vrxlog, log, "log written while shown: ", 15)
    for line, value in GROWING_LINES:
        time.sleep(0.3)
        # Written in two pieces, the line end apart, as a program that writes slowly does.
        with open(log, "ab") as f:
            f.write(line[:-2])
            f.flush()
            time.sleep(0.1)
            f.write(line[-2:])
        with open(log[:-3] + "tst", "ab") as f:
            f.write(value)
    expected = subprocess.run([vrxlog, "text", log], capture_output=True, text=True, encoding="utf-8").stdout.rstrip("\n")

    def shown():
        text = s.window_tree(CAPTION).find(role="text").text or ""
        return text if text.replace("\u2028", "\n").replace("\r\n", "\n") == expected else None
    wait_for("log written while shown: its last line read by the screen reader", shown, 5)
    desk.key("alt+v", "s")
    window = s.window_tree(CAPTION)
    labels = [n.name for n in window.walk() if n.role == "label"]
    check.true("log written while shown: the counters follow the status file (8 passed, 1 failed)",
               "8" in labels and "1" in labels, f"labels {labels}")
    check.equal("log written while shown: no message", [c.name for c in s.tree().children], [CAPTION])
    desk.key("ctrl+Home", "F8")
    display = wait_for("F8: a line selected", lambda: (lambda d: d if d.selection and d.selection[1] > d.selection[0]
                                                         else None)(s.window_tree(CAPTION).find(role="text")), 5)
    start, end = display.selection
    check.equal("F8: the failed line selected", display.text[start:end], expected.split("\n")[5])
    s.screenshot("log-written-while-shown")
    exit_by_menu(s, desk, check, "log written while shown: ")


def scenario(s, desk, check, vrxlog, samples, server):
    # ---- splash: no title bar, the title line readable ----
    main = desk.window_named(CAPTION)
    splash = wait_for("the splash window", lambda: next(
        (p for p in map(desk.props, desk.windows()) if p["id"] != main["id"]), None), 5)
    s.screenshot("splash")
    check.true("splash: no title bar (no decorations asked)", splash["motif"] is not None
               and splash["motif"][0] & MWM_FLAG_DECORATIONS and splash["motif"][2] == 0, str(splash["motif"]))
    check.equal("splash: frame drawn by the window manager", splash["frame"], [0, 0, 0, 0])
    s.fixed_size("splash", splash)
    labels = [n.name for n in s.tree().walk() if n.role == "label"]
    check.true("splash: the screen reader reads its title line", CAPTION in labels, f"labels {labels}")
    desk.gone(splash["id"], 8)

    # ---- main window: caption, buttons, controls, menus ----
    main = desk.props(main["id"])
    check.equal("main window: title bar", main["name"], CAPTION)
    s.fixed_size("main window", main)
    check.true("main window: minimize offered", "_NET_WM_ACTION_MINIMIZE" in main["actions"], str(main["actions"]))
    check.true("main window: close offered", "_NET_WM_ACTION_CLOSE" in main["actions"], str(main["actions"]))
    check.true("main window: no maximize", not {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT"}
               & main["actions"], str(main["actions"]))
    check.true("main window: no resize", "_NET_WM_ACTION_RESIZE" not in main["actions"], str(main["actions"]))
    motif = main["motif"] or [0, 0, 0]
    check.true("main window: motif hints ask for minimize and close but not maximize",
               motif[0] & MWM_FLAG_FUNCTIONS and not motif[1] & (MWM_FUNC_ALL | MWM_FUNC_MAXIMIZE)
               and motif[1] & MWM_FUNC_MINIMIZE and motif[1] & MWM_FUNC_CLOSE, str(motif))
    s.screenshot("main")
    window = s.window_tree(CAPTION)
    s.labels_read_as_shown("main window", window)
    labels = {n.name for n in window.walk() if n.role == "label"}
    for caption in ("Test Status: ", "Pass:", "Fail:", "N/A:", "0"):
        check.true(f'main window: label "{caption}" read as shown', caption in labels, f"labels {sorted(labels)}")
    check.equal("main window: menu states at start", menu_states(window),
                {"File": True, "Open File": True, "Print": False, "Exit": True, "View": True,
                 "Show Test Status": False, "Clear Display/Status": False, "About": True})
    display = window.find(role="text")
    check.true("main window: Display is a text", display is not None)

    # ---- open a log through the real file dialog ----
    log = os.path.join(samples, "scope-fail.log")
    desk.key("alt+f", "o")
    dialog = desk.window_named("Log File")
    s.screenshot("open-dialog")
    desk.type(log)
    desk.key("Return")
    desk.gone(dialog["id"])
    window = log_shown(s, check, vrxlog, log, "", 10)
    desk.key("alt+v", "s")
    window = s.window_tree(CAPTION)
    items = [n.name for n in window.find(role="list").children]
    summary = subprocess.run([vrxlog, "status", log], capture_output=True, text=True).stdout.splitlines()
    check.equal("StatusList read by the screen reader", items, [line for line in summary if line.startswith("Test #")])
    labels = [n.name for n in window.walk() if n.role == "label"]
    for count in ("23", "3", "1"):
        check.true(f"counter {count} read by the screen reader", count in labels, f"labels {labels}")
    states = menu_states(window)
    check.true("menus after a load", states.get("Print") and states.get("Show Test Status")
               and states.get("Clear Display/Status"), str(states))
    check.true("Show Test Status checked", any(n.checked for n in window.walk() if n.name == "Show Test Status"))
    s.screenshot("status-shown")
    # The README's picture of the program, from the window itself (make screenshot).
    readme_shot = os.environ.get("VRXPV_README_SCREENSHOT")
    if readme_shot:
        desk.window_shot(main["id"], readme_shot)

    # ---- message boxes of the main window ----
    desk.key("alt+v", "c")
    s.message_box("Create Log File", "This will clear screen and (re)set all test status.\r\nDo you want to continue ?",
                  ["Escape"], "clear-question")
    nostatus = os.path.join(samples, "probe-nostatus.log")
    desk.key("alt+f", "o")
    dialog = desk.window_named("Log File")
    desk.type(nostatus)
    desk.key("Return")
    desk.gone(dialog["id"])
    s.message_box("Test Status File Error",
                  f'"{nostatus[:-3]}tst"  not found.\nTest Status Data will not be available.',
                  ["Return"], "status-missing")

    # ---- About window and the answers of the update check ----
    desk.key("alt+a")
    about = desk.window_named(ABOUT)
    s.fixed_size("About window", about)
    motif = about["motif"] or [0, 0, 0]
    check.true("About window: motif hints offer no minimize, maximize or close",
               motif[0] & MWM_FLAG_FUNCTIONS and not motif[1] & (MWM_FUNC_ALL | MWM_FUNC_MINIMIZE
                                                                  | MWM_FUNC_MAXIMIZE | MWM_FUNC_CLOSE), str(motif))
    s.screenshot("about")
    window = s.window_tree(ABOUT)
    s.labels_read_as_shown("About window", window)
    labels = [n.name for n in window.walk() if n.role == "label"]
    check.true("About window: version line read", any(l.startswith("Version: 1.3,  Date: Jan 2025\n\n") for l in labels),
               f"labels {labels}")
    check.true("About window: e-mail address read", any("@" in l and " " not in l for l in labels), f"labels {labels}")
    check.equal("About window: buttons", sorted(n.name for n in window.walk() if n.role == "push button"),
                ["Check for Update", "Close"])
    answers = [(TITLE + ":1.3", "This is the latest version.", ["Return"]),
               (TITLE + ": 1.4", f"A newer version  (  1.4 )  is available.\n\n{QUESTION}", ["n"]),
               ("Another Program:2.0", f"Data for this program not found.\n\n{QUESTION}", ["n"]),
               (None, f"Web Datafile not found.\n\n{QUESTION}", ["n"])]
    desk.key("Tab")
    for body, text, keys in answers:
        server.body = body
        desk.key("Return")
        s.message_box(VERSION_BOX, text, keys, "update-" + text.split()[0].lower())
    desk.key("Escape")
    desk.gone(about["id"])

    # ---- Exit ends the program ----
    exit_by_menu(s, desk, check, "")


def main(argv):
    if len(argv) != 5:
        print(__doc__)
        return 2
    vrxpv, vrxlog, samples, out = (os.path.abspath(a) for a in argv[1:])
    missing = missing_tools()
    if missing:
        print("desktop test: missing " + ", ".join(missing))
        return 1 if os.environ.get("CI") == "true" else 77
    os.makedirs(out, exist_ok=True)
    check = Check()
    # Answers on the command line need no display; without one the window's start says so in
    # one line. The menu entry that starts it is valid.
    no_display = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    start_failed = "vrxpv: cannot open the display \":4711\"; start it in a desktop session\n"
    for args, env, code, stream, answer in (
            (["--version"], {}, 0, "stdout", "vrxpv 1.3 (Jan 2025)\n"),
            (["-reverse", "--version"], {}, 0, "stdout", "vrxpv 1.3 (Jan 2025)\n"),
            (["--help"], {}, 0, "stdout", "Usage: vrxpv"),
            (["--bogus"], {}, 2, "stderr", "vrxpv: Unknown option"),
            (["--version=3"], {}, 2, "stderr", "vrxpv: Unexpected value after '--version'."),
            (["--help=x"], {}, 2, "stderr", "vrxpv: Unexpected value after '--help'."),
            ([], {"DISPLAY": ":4711"}, 1, "stderr", start_failed),
            (["-display", ":4711", "run.log"], {}, 1, "stderr", start_failed),
            ([], {}, 1, "stderr", "vrxpv: cannot open a display: DISPLAY is not set; start it in a desktop session\n"),
            ([], {"QT_QPA_PLATFORM": "nosuch"}, 1, "stderr", "vrxpv: there is no Qt platform plugin \"nosuch\"; the ")):
        what = "vrxpv " + " ".join(args + [f"{k}={v}" for k, v in env.items()])
        done = subprocess.run([vrxpv] + args, capture_output=True, text=True, env=dict(no_display, **env), timeout=20)
        check.equal(f"{what}: exit status", done.returncode, code)
        check.true(f"{what}: answer on {stream}", getattr(done, stream).startswith(answer), getattr(done, stream))
        if code == 1:
            check.equal(f"{what}: one line", getattr(done, stream).count("\n"), 1)
    entry = os.path.join(samples, os.pardir, "dist", "vrxpv.desktop")
    valid = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
    check.equal("desktop entry valid", valid.returncode, 0)
    server = VersionServer()
    desk = Desktop(out)
    try:
        run(desk, check, vrxpv, vrxlog, samples, out, server)
    except Exception:
        check.failures.append(traceback.format_exc())
        desk.screenshot(os.path.join(out, "failure.png"))
    finally:
        desk.close()
        server.close()
    for failure in check.failures:
        print("FAIL:", failure)
    print(f"desktop test: {len(check.failures)} failure(s); screenshots in {out}")
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
