#!/usr/bin/python3
"""Following a log while a test writes it, and F8, in vrxpv on an X server.

For a log of 10 MB and one of 1 GB, made from the sample lines with no failed test but one,
near the end (a thousand lines before it), each opened with `vrxpv FILE` on Xvfb with openbox
(tests/desktop/desktop.py), accessibility off:

  append   the view at the end (Ctrl+End), 1,000 lines are added to the file in one write: from
           the write to the new lines on the screen (Display is read from the X server every few
           milliseconds; the first moment it shows what it shows at the end counts), and the
           bytes the program read meanwhile (/proc/PID/io rchar: every read, the X server's
           answers too) against those added and those shown before
  F8       Ctrl+Home, then F8: from the key to the failed line selected on the screen, and the
           longest time the window took to answer meanwhile (_NET_WM_PING every 20 ms)

Targets: the append on the screen within 0.5 s of the write, without reading again what was
shown; F8 over 1 GB within 2 s. Usage: follow.py BUILD_DIR (under dbus-run-session).
Environment: FOLLOW_SIZES (e.g. "10MB"; the default is both), VRXPV_BASELINE is not used: the
program before had neither.
"""

import os
import runpy
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
scale = runpy.run_path(os.path.join(HERE, "scale-table.py"))
tools = runpy.run_path(os.path.join(HERE, "compare-tools.py"))
Desktop, missing_tools, wait_for = scale["Desktop"], scale["missing_tools"], scale["wait_for"]
Screen, Sampler, Pinger = scale["Screen"], scale["Sampler"], scale["Pinger"]
start_vrxpv, click_on, wait_idle = scale["start_vrxpv"], scale["click_on"], scale["wait_idle"]
status_kib = scale["status_kib"]

SIZES = {"10MB": 10 * 1000 * 1000, "1GB": 1000 * 1000 * 1000}
# Display's area in the main window's client area.
DISPLAY = (12, 24, 640, 480)


def passing_lines():
    """The sample lines with no failed test: FAIL (code 16) made PASS (code 15)."""
    return [line.replace(b"\x10", b"\x0f") + b"\r\n" for line in tools["sample_lines"]()]


def failing_line():
    return next(l for l in tools["sample_lines"]() if b"\x10" in l) + b"\r\n"


def make_log(path, size):
    """About `size` bytes of passing lines, one failed line and 1,000 passing lines after it."""
    pool = passing_lines()
    rounds = b"".join(pool) * 64
    written = 0
    with open(path, "wb") as f:
        while written + len(rounds) <= size:
            f.write(rounds)
            written += len(rounds)
        f.write(failing_line())
        f.write(b"".join(pool[i % len(pool)] for i in range(1000)))
    shutil.copy(os.path.join(HERE, "..", "samples", "scope-fail.tst"), path[:-4] + ".tst")
    return os.path.getsize(path)


def bytes_read(pid):
    with open(f"/proc/{pid}/io") as f:
        for line in f:
            if line.startswith("rchar:"):
                return int(line.split()[1])
    return 0


def measure(vrxpv, log, tmp):
    desk = Desktop(tmp)
    proc = None
    try:
        screen = Screen(desk.display)
        proc, splash, main = start_vrxpv(desk, screen, vrxpv, log, tmp)
        wait_idle(proc.pid, click_on(screen, splash), timeout=600)
        desk.run(["xdotool", "windowactivate", "--sync", str(main)])
        desk.key("ctrl+End")
        wait_idle(proc.pid, time.perf_counter(), quiet=0.5)

        # 1,000 lines in one write, the view at the end.
        shown_bytes = os.path.getsize(log)
        added = b"".join(passing_lines()[i % 50] for i in range(1000))
        sampler = Sampler(desk.display, main, DISPLAY)
        before = bytes_read(proc.pid)
        sampler.start()
        time.sleep(0.2)
        with open(log, "ab") as f:
            f.write(added)
        written = time.perf_counter()
        wait_idle(proc.pid, written, quiet=0.8)
        appeared = sampler.first_time_showing_final()
        read = bytes_read(proc.pid) - before
        append = {"seconds": None if appeared is None else max(0.0, appeared - written), "read": read,
                  "added": len(added), "shown": shown_bytes}

        # F8 from the top to the one failed line near the end.
        desk.key("ctrl+Home")
        wait_idle(proc.pid, time.perf_counter(), quiet=0.5)
        sampler = Sampler(desk.display, main, DISPLAY)
        pinger = Pinger(desk.display, main)
        sampler.start()
        pinger.start()
        time.sleep(0.1)
        desk.run(["xdotool", "key", "F8"])
        pressed = time.perf_counter()
        end, _ = wait_idle(proc.pid, pressed, quiet=0.8)
        shown = sampler.first_time_showing_final()
        pinger.stop()
        f8 = {"seconds": None if shown is None else shown - pressed, "stall": pinger.longest(pressed, end),
              "hwm": status_kib(proc.pid, "VmHWM")}
        return append, f8
    finally:
        if proc is not None and proc.poll() is None:
            proc.kill()
            proc.wait()
        desk.close()


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    vrxpv = os.path.abspath(os.path.join(build, "shell", "vrxpv"))
    missing = missing_tools()
    try:
        import Xlib  # noqa: F401
    except ImportError:
        missing.append("python3-xlib")
    if not os.access(vrxpv, os.X_OK):
        missing.append(vrxpv)
    if missing:
        print("follow: skipped, missing " + ", ".join(missing))
        return 0
    wanted = [s.strip() for s in os.environ.get("FOLLOW_SIZES", ",".join(SIZES)).split(",") if s.strip()]
    print("Following a growing log and F8 (targets: the append on the screen <= 0.5 s after the write,")
    print("reading only what was added; F8 over 1 GB <= 2 s, the window answering)")
    with tempfile.TemporaryDirectory(prefix="vrxpv-follow-") as tmp:
        for key in wanted:
            log = os.path.join(tmp, f"follow-{key}.log")
            size = make_log(log, SIZES[key])
            scale["warm"](log)
            append, f8 = measure(vrxpv, log, tmp)
            seconds = "-" if append["seconds"] is None else f"{append['seconds']:.2f}"
            print(f"  {key:5s} {size / 1e6:7.1f} MB: 1,000 lines ({append['added'] / 1e3:.0f} KB) added, on the screen "
                  f"after {seconds} s; {append['read'] / 1e3:.0f} KB read meanwhile, X included "
                  f"(the shown part: {append['shown'] / 1e6:.1f} MB)", flush=True)
            seconds = "-" if f8["seconds"] is None else f"{f8['seconds']:.2f}"
            print(f"  {key:5s} {size / 1e6:7.1f} MB: F8 to the failed line near the end {seconds} s, longest "
                  f"stall {f8['stall'] * 1000:.0f} ms, peak {f8['hwm'] / 1024:.0f} MiB", flush=True)
            os.remove(log)
    return 0


if __name__ == "__main__":
    sys.exit(main())
