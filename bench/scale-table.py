#!/usr/bin/python3
"""The scale table: vrxpv opening logs from 10,000 lines to 1 GB on an X server, against glogg.

Makes logs of 10,000, 1,000,000 and 10,000,000 lines and one of 1 GB (about 22.8 million
lines) from the sample lines (bench/compare-tools.py), each with a status file beside it, and
opens each with `vrxpv FILE` on Xvfb with openbox (tests/desktop/desktop.py), accessibility
off. For every log, in one run:

  first screen   from the click that closes the splash (which starts the load) to the first
                 lines of the log on the screen: the top rows of Display are read from the X
                 server every few milliseconds, and the first moment they show what they show
                 at the end counts
  fully read     from the click to the last CPU the program used before a second of quiet
  peak           VmHWM of the program at the end (after the Find below), MiB
  find           Ctrl+F, a text that is nowhere in the log, Enter: from Enter to the
                 "Cannot find" message box
  stall          the longest time the window took to answer, while the log was read and
                 while Find ran: the program is sent the window manager's _NET_WM_PING every
                 20 ms, which its event loop answers (a window that does not answer for
                 seconds is one the desktop offers to kill)

The stall while reading is measured in a second opening of the same log, so that the pings do
not blur the end of the reading. glogg (Debian) opens the same file: its first screen from its
start, and its peak once it is idle.

Environment: SCALE_SIZES (e.g. "10000,1000000,1GB"; the default is all four), SCALE_LOG_DIR
(keep the logs there and reuse them in later runs), VRXPV_BASELINE (another vrxpv binary, for
instance one built from main, opened on the same logs in the same run: a "before" beside the
"after"). Usage: scale-table.py BUILD_DIR (under dbus-run-session). Exits 0 with a message
when the desktop tools are missing.
"""

import hashlib
import os
import runpy
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.join(HERE, "..", "samples")
sys.path.insert(0, os.path.join(HERE, "..", "tests", "desktop"))
from desktop import Desktop, missing_tools, wait_for  # noqa: E402

TITLE = "View & Print VRX Log Files"
CAPTION = TITLE + ", v1.3 - Jan 2025 / QX"
NOWHERE = "qzq no such text"
SIZES = {"10000": ("10,000 lines", {"lines": 10000}),
         "1000000": ("1,000,000 lines", {"lines": 1000000}),
         "10000000": ("10,000,000 lines", {"lines": 10000000}),
         "1GB": ("1 GB", {"size": 1000 * 1000 * 1000})}

load = runpy.run_path(os.path.join(HERE, "desktop-load.py"))
cpu_ticks, status_kib, wait_idle, private_env = (load[n] for n in ("cpu_ticks", "status_kib", "wait_idle",
                                                                   "private_env"))


# ---- the X server, seen as a window manager and a screen grabber see it ----

class Screen:
    """One connection to the X server (python3-xlib); one per thread."""

    def __init__(self, name):
        from Xlib import X, display
        self.X = X
        self.d = display.Display(name)
        self.root = self.d.screen().root

    def atom(self, name):
        return self.d.intern_atom(name)

    def clients(self):
        prop = self.root.get_full_property(self.atom("_NET_CLIENT_LIST"), self.X.AnyPropertyType)
        return list(prop.value) if prop else []

    def name(self, wid):
        try:
            prop = self.window(wid).get_full_property(self.atom("_NET_WM_NAME"), self.atom("UTF8_STRING"))
        except Exception:
            return None
        return prop.value.decode("utf-8", "replace") if prop else None

    def window(self, wid):
        return self.d.create_resource_object("window", wid)

    def named(self, test):
        return next((w for w in self.clients() if test(self.name(w) or "")), None)

    def grab(self, wid, box):
        """A digest of what the window shows in box (x, y, width, height of its client area)."""
        try:
            image = self.window(wid).get_image(*box, self.X.ZPixmap, 0xFFFFFFFF)
        except Exception:
            return None
        return hashlib.blake2b(image.data, digest_size=16).digest()


class Sampler(threading.Thread):
    """Reads a part of a window every few milliseconds, with the time of each reading."""

    def __init__(self, display, wid, box):
        super().__init__(daemon=True)
        self.display, self.wid, self.box = display, wid, box
        self.samples = []
        self.done = threading.Event()

    def run(self):
        screen = Screen(self.display)
        started = time.perf_counter()
        while not self.done.is_set():
            digest = screen.grab(self.wid, self.box)
            now = time.perf_counter()
            self.samples.append((now, digest))
            # Often at first, where the first screen is expected; then seldom, so that the
            # readings take little of the processor the program reads with.
            time.sleep(0.003 if now - started < 0.5 else 0.05)
        self.final = screen.grab(self.wid, self.box)

    def first_time_showing_final(self):
        self.done.set()
        self.join()
        return next((t for t, digest in self.samples if digest == self.final), None)


class Pinger(threading.Thread):
    """Sends _NET_WM_PING to a window every 20 ms, as a window manager does to find a hung
    program, and keeps how long each answer took. Qt answers it from its event loop."""

    def __init__(self, display, wid):
        super().__init__(daemon=True)
        self.display, self.wid = display, wid
        self.answers = []   # (sent, seconds)
        self.done = threading.Event()

    def longest(self, since=None, until=None):
        # Every ping that was waiting for its answer at some time in between.
        times = [s for t, s in self.answers if (since is None or t + s >= since) and (until is None or t <= until)]
        return max(times) if times else 0.0

    def run(self):
        from Xlib import X, protocol
        screen = Screen(self.display)
        d = screen.d
        # The answer goes to the root window, to whoever listens for its children's changes.
        screen.root.change_attributes(event_mask=X.SubstructureNotifyMask | X.StructureNotifyMask)
        protocols, ping = screen.atom("WM_PROTOCOLS"), screen.atom("_NET_WM_PING")
        window = screen.window(self.wid)
        serial = 0
        while not self.done.is_set():
            serial += 1
            event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                                 data=(32, [ping, serial, self.wid, 0, 0]))
            sent = time.perf_counter()
            window.send_event(event, event_mask=0)
            d.flush()
            answered = False
            while not answered and not self.done.is_set():
                if not d.pending_events():
                    select.select([d], [], [], 0.05)
                    if not d.pending_events():
                        continue
                e = d.next_event()
                answered = (e.type == X.ClientMessage and e.client_type == protocols
                            and e.data[1][0] == ping and e.data[1][1] == serial)
            if answered:
                self.answers.append((sent, time.perf_counter() - sent))
            else:
                # Still unanswered when the measurement ended: it counts until then.
                self.answers.append((sent, time.perf_counter() - sent))
            time.sleep(0.02)

    def stop(self):
        self.done.set()
        self.join()


# ---- one opening in vrxpv ----

# The top rows of Display, right of the caret, in the main window's client area.
DISPLAY_ROWS = (16, 26, 400, 36)
# The top rows of glogg's text view.
GLOGG_ROWS = (40, 58, 400, 50)


def splash_and_main(screen, proc, timeout=15):
    """Waits for the splash over the main window; returns both, once start-up work is done."""
    def splash():
        clients = screen.clients()
        names = {w: screen.name(w) for w in clients}
        others = [w for w, n in names.items() if n != CAPTION]
        return others[0] if len(clients) >= 2 and others and CAPTION in names.values() else None
    wid = wait_for("the splash", splash, timeout, 0.02)
    main = screen.named(lambda n: n == CAPTION)
    # Start-up work (fonts) is not the load: click once it is done.
    wait_idle(proc.pid, time.perf_counter(), quiet=0.3, timeout=2.0)
    return wid, main


def click_on(screen, wid):
    """Clicks the middle of a window through the XTEST extension; returns when the X server
    has the click, the moment the program can act on it."""
    from Xlib import X
    from Xlib.ext import xtest
    window = screen.window(wid)
    g = window.get_geometry()
    at = screen.root.translate_coords(window, g.width // 2, g.height // 2)
    xtest.fake_input(screen.d, X.MotionNotify, x=at.x, y=at.y)
    screen.d.sync()
    xtest.fake_input(screen.d, X.ButtonPress, 1)
    xtest.fake_input(screen.d, X.ButtonRelease, 1)
    screen.d.sync()
    return time.perf_counter()


def start_vrxpv(desk, screen, vrxpv, log, tmp):
    """vrxpv opening LOG on the desktop, accessibility off: its process, splash and main window."""
    env = private_env(desk, tmp)
    env["QT_ACCESSIBILITY"] = "0"
    proc = subprocess.Popen([vrxpv, log], env=env, stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(tmp, "vrxpv.stderr"), "a"))
    return (proc, *splash_and_main(screen, proc))


def open_in_vrxpv(vrxpv, log, tmp, pings):
    """pings False: first screen, fully read, peak, then Find with pings. pings True: the
    longest stall while the log is read."""
    desk = Desktop(tmp)
    proc = None
    try:
        screen = Screen(desk.display)
        proc, splash, main = start_vrxpv(desk, screen, vrxpv, log, tmp)
        sampler = Sampler(desk.display, main, DISPLAY_ROWS)
        pinger = Pinger(desk.display, main) if pings else None
        sampler.start()
        clicked = click_on(screen, splash)
        if pinger:
            pinger.start()
        end, _ = wait_idle(proc.pid, clicked)
        first = sampler.first_time_showing_final()
        result = {"first": None if first is None else max(0.0, first - clicked), "read": end - clicked}
        if pinger:
            pinger.stop()
            result["stall"] = pinger.longest(clicked, end)
            return result
        # Find a text that is nowhere: the whole log is searched.
        desk.run(["xdotool", "windowactivate", "--sync", str(main)])
        desk.key("ctrl+f")
        find = wait_for("the find window", lambda: screen.named(lambda n: n == "Find"), 10, 0.02)
        desk.type(NOWHERE)
        pinger = Pinger(desk.display, main)
        pinger.start()
        time.sleep(0.1)
        desk.run(["xdotool", "key", "Return"])
        entered = time.perf_counter()
        wait_for("the Cannot find message", lambda: screen.named(lambda n: n == TITLE), 120, 0.005)
        found = time.perf_counter()
        pinger.stop()
        result["find"] = found - entered
        result["find_stall"] = pinger.longest(entered, found)
        result["hwm"] = status_kib(proc.pid, "VmHWM")
        return result
    finally:
        if proc is not None and proc.poll() is None:
            proc.kill()
            proc.wait()
        desk.close()


def open_in_glogg(log, tmp):
    desk = Desktop(tmp)
    proc = None
    try:
        screen = Screen(desk.display)
        env = private_env(desk, tmp)
        proc = subprocess.Popen(["glogg", "--multi", log], env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        started = time.perf_counter()
        main = wait_for("glogg's window", lambda: screen.named(lambda n: n.endswith("glogg")), 30, 0.005)
        sampler = Sampler(desk.display, main, GLOGG_ROWS)
        sampler.start()
        end, _ = wait_idle(proc.pid, started)
        first = sampler.first_time_showing_final()
        return {"first": None if first is None else first - started, "read": end - started,
                "hwm": status_kib(proc.pid, "VmHWM")}
    finally:
        if proc is not None and proc.poll() is None:
            proc.kill()
            proc.wait()
        desk.close()


# ---- the table ----

def logs_in(folder, wanted):
    make_log = runpy.run_path(os.path.join(HERE, "compare-tools.py"))["make_log"]
    logs = []
    for key in wanted:
        label, how = SIZES[key]
        path = os.path.join(folder, f"scale-{key}.log")
        marker = path + ".lines"
        if not (os.path.exists(path) and os.path.exists(marker)):
            lines = make_log(path, **how)
            with open(marker, "w") as f:
                f.write(str(lines))
        with open(marker) as f:
            lines = int(f.read())
        shutil.copy(os.path.join(SAMPLES, "scope-fail.tst"), path[:-4] + ".tst")
        logs.append((label, path, lines, os.path.getsize(path)))
    return logs


def warm(path):
    """Reads a log once, so that every program finds it in the page cache: the table compares
    the programs' reading, not the disk's."""
    with open(path, "rb") as f:
        while f.read(16 << 20):
            pass


def seconds(value):
    return "    -" if value is None else f"{value:5.2f}"


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    vrxpv = os.path.abspath(os.path.join(build, "shell", "vrxpv"))
    missing = missing_tools()
    for tool in ("glogg",):
        if shutil.which(tool) is None:
            missing.append(tool)
    try:
        import Xlib  # noqa: F401
    except ImportError:
        missing.append("python3-xlib")
    if not os.access(vrxpv, os.X_OK):
        missing.append(vrxpv)
    if missing:
        print("scale table: skipped, missing " + ", ".join(missing))
        return 0
    programs = [("vrxpv", vrxpv)]
    if os.environ.get("VRXPV_BASELINE"):
        programs.insert(0, ("before", os.path.abspath(os.environ["VRXPV_BASELINE"])))
    wanted = [s.strip() for s in os.environ.get("SCALE_SIZES", ",".join(SIZES)).split(",") if s.strip()]
    keep = os.environ.get("SCALE_LOG_DIR")
    with tempfile.TemporaryDirectory(prefix="vrxpv-scale-") as tmp:
        folder = keep or tmp
        os.makedirs(folder, exist_ok=True)
        logs = logs_in(folder, wanted)
        rows = []
        for label, path, lines, size in logs:
            row = {"label": label, "lines": lines, "size": size}
            for name, binary in programs:
                warm(path)
                row[name] = open_in_vrxpv(binary, path, tmp, pings=False)
                row[name]["stall"] = open_in_vrxpv(binary, path, tmp, pings=True)["stall"]
                r = row[name]
                print(f"  {label:16s} {name:6s} first screen {seconds(r['first'])} s, read {r['read']:6.2f} s, "
                      f"peak {r['hwm'] / 1024:7.1f} MiB, find {r['find']:5.2f} s, longest stall "
                      f"{r['stall'] * 1000:5.0f} ms reading, {r['find_stall'] * 1000:5.0f} ms finding", flush=True)
            warm(path)
            row["glogg"] = open_in_glogg(path, tmp)
            g = row["glogg"]
            print(f"  {label:16s} glogg  first screen {seconds(g['first'])} s, read {g['read']:6.2f} s, "
                  f"peak {g['hwm'] / 1024:7.1f} MiB", flush=True)
            rows.append(row)

    print()
    print("Scale table (first screen and fully read from the click that starts the load; glogg from its start;")
    print("stall = longest time the window did not answer, reading / finding; targets: first screen <= 0.2 s,")
    print(">= 500 MB/s read, peak <= 0.5 x glogg's, find over 1 GB <= 2 s)")
    print(f"  {'log':16s} {'lines':>11s} {'MB':>7s} {'':6s} {'first s':>7s} {'read s':>7s} {'MB/s':>6s} "
          f"{'peak MiB':>8s} {'x glogg':>7s} {'find s':>6s} {'stall ms':>11s} | {'glogg first s':>13s} "
          f"{'glogg peak MiB':>14s}")
    for row in rows:
        g = row["glogg"]
        for name, _ in programs:
            r = row[name]
            rate = row["size"] / 1e6 / r["read"] if r["read"] > 0 else float("inf")
            print(f"  {row['label']:16s} {row['lines']:11,d} {row['size'] / 1e6:7.1f} {name:6s} "
                  f"{seconds(r['first']):>7s} {r['read']:7.2f} {rate:6.0f} {r['hwm'] / 1024:8.1f} "
                  f"{r['hwm'] / g['hwm']:7.2f} {r['find']:6.2f} {r['stall'] * 1000:5.0f}/{r['find_stall'] * 1000:<5.0f} | "
                  f"{seconds(g['first']):>13s} {g['hwm'] / 1024:14.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
