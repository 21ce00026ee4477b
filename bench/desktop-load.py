#!/usr/bin/python3
"""Opening a huge log in the real program on an X server, with and without a screen reader.

Starts Xvfb, openbox and the accessibility bus (tests/desktop/desktop.py), generates a
1,000,000-line log from the sample lines and opens it with `vrxpv FILE` (xcb platform) in
three cases:

  off       accessibility not active (no QT_LINUX_ACCESSIBILITY_ALWAYS_ON, QT_ACCESSIBILITY=0)
  on        accessibility active (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1), nobody listening
  reader    accessibility active and a screen-reader-like client listening for text, caret,
            children and state changes; after the load it reads the line at Display's caret

The load starts when the splash is clicked away (xdotool, as soon as the program is idle
behind it) and ends when the process has used no CPU for a second: the log is read and
shown on the GUI thread, and "&Print" is enabled at the end of that work. Where the program
is on the accessibility bus, "&Print" is then checked enabled through AT-SPI. Peak memory is
VmHWM from /proc. glogg (Debian) opens the same file on the same kind of desktop for
comparison: its time runs from its start until it is idle.

A 10,000-line log is also opened: the time from the click to the text on screen.

Runs alternate between the cases, so that load from other processes spreads over all of
them. Usage: desktop-load.py BUILD_DIR  (under dbus-run-session; DESKTOP_LOAD_RUNS=N
repeats, default 3). Exits 0 with a message when the desktop tools are missing.
"""

import json
import os
import runpy
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import warnings

# Qt answers the older text calls (GetTextAtOffset) that libatspi marks as deprecated.
warnings.filterwarnings("ignore", category=DeprecationWarning)

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.join(HERE, "..", "samples")
sys.path.insert(0, os.path.join(HERE, "..", "tests", "desktop"))
from desktop import Desktop, missing_tools, wait_for  # noqa: E402

CAPTION = "View & Print VRX Log Files, v1.3 - Jan 2025 / QX"
READER_EVENTS = ("object:text-changed", "object:text-caret-moved", "object:children-changed",
                 "object:state-changed")
TICKS = os.sysconf("SC_CLK_TCK")
QUIET = 1.0  # seconds without CPU use that end a load


# ---- the process seen from /proc ----

def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime, all threads


def status_kib(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def wait_idle(pid, since, quiet=QUIET, timeout=600.0):
    """The last moment the process used CPU after `since`, once it has then been idle for
    `quiet` seconds. /proc counts CPU in clock ticks (10 ms), sampled here every 5 ms."""
    last = cpu_ticks(pid)
    busy_until = since
    while True:
        time.sleep(0.005)
        now = time.perf_counter()
        ticks = cpu_ticks(pid)
        if ticks != last:
            last, busy_until = ticks, now
        elif now - busy_until >= quiet:
            return busy_until, ticks
        if now - since > timeout:
            raise AssertionError(f"process {pid} still busy after {timeout:.0f} s")


# ---- the screen-reader-like client, a process of its own as a screen reader is ----

def client_main():
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib

    counts, chars, largest = {}, {}, {}
    last_event = [0.0]

    def on_event(event, *unused):
        kind = event.type
        counts[kind] = counts.get(kind, 0) + 1
        data = event.any_data
        n = len(data) if isinstance(data, str) else 0
        chars[kind] = chars.get(kind, 0) + n
        largest[kind] = max(largest.get(kind, 0), n)
        last_event[0] = time.monotonic()

    listener = Atspi.EventListener.new(on_event)
    for kind in READER_EVENTS:
        listener.register(kind)

    def display_of(app):
        # Breadth first: Display lies a few levels below the main window, beside the menus.
        queue = [app]
        while queue:
            node = queue.pop(0)
            if node.get_role() == Atspi.Role.TEXT:
                return node
            for i in range(node.get_child_count()):
                child = node.get_child_at_index(i)
                if child is not None:
                    queue.append(child)
        return None

    def query():
        start = time.perf_counter()
        desktop = Atspi.get_desktop(0)
        desktop.clear_cache()  # the program started after this client
        app = next((desktop.get_child_at_index(i) for i in range(desktop.get_child_count())
                    if desktop.get_child_at_index(i) is not None
                    and desktop.get_child_at_index(i).get_name() == "vrxpv"), None)
        if app is not None:
            app.clear_cache()  # what was cached before the main window was complete
        display = display_of(app) if app is not None else None
        if display is None:
            return {"error": "no Display on the bus"}
        caret = Atspi.Text.get_caret_offset(display)
        # Qt 6.4 answers the older call only (GetTextAtOffset); screen readers fall back to it.
        line = Atspi.Text.get_text_at_offset(display, caret, Atspi.TextBoundaryType.LINE_START)
        count = Atspi.Text.get_character_count(display)
        return {"seconds": time.perf_counter() - start, "caret": caret, "characters": count,
                "line": line.content[:80]}

    pending = bytearray()

    def on_input(fd, condition):
        data = os.read(fd, 4096)
        pending.extend(data)
        while b"\n" in pending:
            line, _, rest = bytes(pending).partition(b"\n")
            pending[:] = rest
            if line == b"query":
                print(json.dumps(query()), flush=True)
            elif line == b"report":
                print(json.dumps({"counts": counts, "chars": chars, "largest": largest,
                                  "last_event": last_event[0]}),
                      flush=True)
        if not data:
            Atspi.event_quit()
            return False
        return True

    GLib.unix_fd_add_full(GLib.PRIORITY_DEFAULT, sys.stdin.fileno(),
                          GLib.IOCondition.IN | GLib.IOCondition.HUP, on_input)
    print("ready", flush=True)
    Atspi.event_main()


class Client:
    def __init__(self, env):
        self.proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--client"], env=env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        if self.proc.stdout.readline().strip() != "ready":
            raise AssertionError("the screen reader client did not start")

    def ask(self, what):
        self.proc.stdin.write(what + "\n")
        self.proc.stdin.flush()
        return json.loads(self.proc.stdout.readline())

    def close(self):
        hwm = status_kib(self.proc.pid, "VmHWM")
        cpu = cpu_ticks(self.proc.pid) / TICKS
        self.proc.stdin.close()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        return hwm, cpu


# ---- one opening ----

def private_env(desk, tmp):
    home = tempfile.mkdtemp(prefix="home-", dir=tmp)
    runtime = tempfile.mkdtemp(prefix="run-", dir=tmp)
    env = dict(desk.env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local/share"), XDG_CACHE_HOME=os.path.join(home, ".cache"),
               XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb", LANG="C.UTF-8",
               # No update check over the network during the measurement.
               VRXPV_SITE_URL="http://127.0.0.1:9")
    for name in ("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "QT_ACCESSIBILITY", "QT_SCALE_FACTOR",
                 "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "QT_STYLE_OVERRIDE"):
        env.pop(name, None)
    return env


def print_enabled(desk):
    """Whether the File menu's Print item reads as enabled through AT-SPI (None: not found).
    Walks roles and states only: reading Display's text would itself cost."""
    Atspi = desk.Atspi
    try:
        app = desk.application("vrxpv", timeout=20)
    except AssertionError:
        return None  # the program is no longer listed on the accessibility bus
    app.clear_cache()
    queue = [app]
    while queue:
        node = queue.pop(0)
        role = node.get_role()
        if role == Atspi.Role.MENU_ITEM and node.get_name() == "Print":
            states = node.get_state_set()
            return states.contains(Atspi.StateType.ENABLED) or states.contains(Atspi.StateType.SENSITIVE)
        if role == Atspi.Role.TEXT:
            continue
        for i in range(node.get_child_count()):
            child = node.get_child_at_index(i)
            if child is not None:
                queue.append(child)
    return None


def open_in_vrxpv(vrxpv, log, case, tmp):
    desk = Desktop(tmp)
    client = None
    proc = None
    try:
        env = private_env(desk, tmp)
        if case == "off":
            env["QT_ACCESSIBILITY"] = "0"
        else:
            env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        if case == "reader":
            client = Client(desk.env)
        proc = subprocess.Popen([vrxpv, log], env=env, stdout=subprocess.DEVNULL,
                                stderr=open(os.path.join(tmp, "vrxpv.stderr"), "a"))
        started = time.perf_counter()

        def splash():
            ids = desk.windows()
            if len(ids) < 2:
                return None
            names = {w: desk.props(w)["name"] for w in ids}
            others = [w for w, name in names.items() if name != CAPTION]
            return others[0] if others and CAPTION in names.values() else None
        wid = wait_for("the splash", splash, 15, 0.02)
        geometry = dict(line.split("=", 1) for line in desk.run(
            ["xdotool", "getwindowgeometry", "--shell", wid]).split())
        # Startup work (fonts, the accessibility tree) is not the load: click once it is done.
        # The splash closes by itself 3 s after showing; the click normally comes well before.
        wait_idle(proc.pid, time.perf_counter(), quiet=0.3, timeout=2.0)
        startup_hwm = status_kib(proc.pid, "VmHWM")
        startup_cpu = cpu_ticks(proc.pid)
        desk.run(["xdotool", "mousemove", str(int(geometry["X"]) + int(geometry["WIDTH"]) // 2),
                  str(int(geometry["Y"]) + int(geometry["HEIGHT"]) // 2), "click", "1"])
        clicked = time.perf_counter()
        clicked_at = time.monotonic()
        end, ticks = wait_idle(proc.pid, clicked)
        closed_by_click = clicked - started < 2.9
        result = {"seconds": end - clicked, "cpu": (ticks - startup_cpu) / TICKS,
                  "hwm": status_kib(proc.pid, "VmHWM"), "startup_hwm": startup_hwm,
                  "rss": status_kib(proc.pid, "VmRSS"), "clicked": closed_by_click}
        if wid in desk.windows():
            raise AssertionError("the splash is still shown after the click")
        if client is not None:
            # The client may still be receiving what the program sent during the load.
            result["query"] = client.ask("query")
            result["events"] = client.ask("report")
            last = result["events"]["last_event"]
            result["heard"] = last - clicked_at if last else None
            result["client_hwm"], result["client_cpu"] = client.close()
            client = None
        if case != "off":
            result["print"] = print_enabled(desk)
        return result
    finally:
        if client is not None:
            client.close()
        if proc is not None and proc.poll() is None:
            proc.kill()
            proc.wait()
        desk.close()


def open_in_glogg(log, tmp):
    desk = Desktop(tmp)
    proc = None
    try:
        env = private_env(desk, tmp)
        argv = ["glogg", "--multi"] + ([log] if log else [])
        proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        started = time.perf_counter()
        end, ticks = wait_idle(proc.pid, started)
        return {"seconds": end - started, "cpu": ticks / TICKS, "hwm": status_kib(proc.pid, "VmHWM")}
    finally:
        if proc is not None and proc.poll() is None:
            proc.kill()
            proc.wait()
        desk.close()


# ---- the table ----

def mib(kib):
    return kib / 1024.0


def summary(values):
    return statistics.median(values), min(values), max(values)


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--client":
        client_main()
        return 0
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    vrxpv = os.path.abspath(os.path.join(build, "shell", "vrxpv"))
    missing = missing_tools()
    if shutil.which("glogg") is None:
        missing.append("glogg")
    if not os.access(vrxpv, os.X_OK):
        missing.append(vrxpv)
    if missing:
        print("desktop load: skipped, missing " + ", ".join(missing))
        return 0
    runs = int(os.environ.get("DESKTOP_LOAD_RUNS", "3"))
    make_log = runpy.run_path(os.path.join(HERE, "compare-tools.py"))["make_log"]

    with tempfile.TemporaryDirectory(prefix="vrxpv-desktop-load-") as tmp:
        big = os.path.join(tmp, "huge.log")
        small = os.path.join(tmp, "small.log")
        make_log(big, lines=1000 * 1000)
        make_log(small, lines=10 * 1000)
        # Each log has its status file beside it, as the test program writes them.
        for log in (big, small):
            shutil.copy(os.path.join(SAMPLES, "scope-fail.tst"), log[:-4] + ".tst")
        size = os.path.getsize(big)
        print(f"desktop load: 1,000,000-line log of {size / 1e6:.1f} MB, 10,000-line log of "
              f"{os.path.getsize(small) / 1e6:.2f} MB; {runs} alternating runs")

        cases = ["off", "on", "reader"]
        results = {case: [] for case in cases}
        small_results = {case: [] for case in ("off", "on")}
        glogg, glogg_start = [], []
        for run in range(runs):
            for case in cases:
                r = open_in_vrxpv(vrxpv, big, case, tmp)
                results[case].append(r)
                print(f"  run {run + 1} {case:6s} {r['seconds']:7.2f} s  CPU {r['cpu']:6.2f} s  "
                      f"peak {mib(r['hwm']):7.1f} MiB" + (f"  Print enabled: {r['print']}" if "print" in r else "")
                      + (f"  client heard the last event at {r['heard']:.2f} s" if r.get("heard") else "")
                      + ("" if r["clicked"] else "  (splash closed by its timer)"), flush=True)
            glogg.append(open_in_glogg(big, tmp))
            glogg_start.append(open_in_glogg(None, tmp))
            print(f"  run {run + 1} glogg  {glogg[-1]['seconds']:7.2f} s  CPU {glogg[-1]['cpu']:6.2f} s  "
                  f"peak {mib(glogg[-1]['hwm']):7.1f} MiB (without a file: {glogg_start[-1]['seconds']:.2f} s, "
                  f"{mib(glogg_start[-1]['hwm']):.1f} MiB)", flush=True)
            for case in small_results:
                small_results[case].append(open_in_vrxpv(vrxpv, small, case, tmp))

        g_time = statistics.median(r["seconds"] for r in glogg)
        g_hwm = statistics.median(r["hwm"] for r in glogg)
        print()
        print(f"1,000,000 lines, {size / 1e6:.1f} MB (median of {runs}, [min-max]); load = click on the "
              "splash to idle, glogg = start to idle")
        print(f"  {'':22s} {'load s':>22s} {'CPU s':>7s} {'peak MiB':>20s} {'peak/file':>9s} "
              f"{'time/glogg':>10s} {'peak/glogg':>10s}")
        rows = [(f"vrxpv a11y {c}", results[c]) for c in cases] + [("glogg", glogg)]
        for name, rs in rows:
            t, t0, t1 = summary([r["seconds"] for r in rs])
            m, m0, m1 = summary([r["hwm"] for r in rs])
            cpu = statistics.median(r["cpu"] for r in rs)
            print(f"  {name:22s} {t:7.2f} [{t0:5.2f}-{t1:6.2f}] {cpu:7.2f} {mib(m):7.1f} [{mib(m0):.0f}-{mib(m1):.0f}] "
                  f"{m * 1024 / size:9.2f} {t / g_time:10.2f} {m / g_hwm:10.2f}")
        off = statistics.median(r["seconds"] for r in results["off"])
        for c in ("on", "reader"):
            pairs = [b["seconds"] / a["seconds"] for a, b in zip(results["off"], results[c])]
            print(f"  a11y {c} / off, paired per run: time x{statistics.median(pairs):.2f} "
                  f"({', '.join(f'{p:.2f}' for p in pairs)})")
        print(f"  vrxpv startup peak before the load: {mib(statistics.median(r['startup_hwm'] for r in results['off'])):.1f} MiB;"
              f" glogg without a file: {statistics.median(r['seconds'] for r in glogg_start):.2f} s, "
              f"{mib(statistics.median(r['hwm'] for r in glogg_start)):.1f} MiB")
        reader = results["reader"][-1]
        events = reader["events"]
        print("  screen reader client (last run): events received "
              + ", ".join(f"{k} x{v} ({events['chars'][k]} chars, largest {events['largest'][k]})"
                          for k, v in sorted(events["counts"].items())))
        heard = [r["heard"] for r in results["reader"] if r.get("heard")]
        if heard:
            print(f"    the client heard the program's last event {statistics.median(heard):.2f} s after the click "
                  f"(median; [{min(heard):.2f}-{max(heard):.2f}])")
        print(f"    its peak {mib(reader['client_hwm']):.1f} MiB, CPU {reader['client_cpu']:.2f} s; "
              f"line at the caret read in {reader['query'].get('seconds', float('nan')) * 1000:.0f} ms "
              f"({reader['query'].get('characters')} characters in Display): "
              f"{reader['query'].get('line', reader['query'].get('error'))!r}")
        # None: the program was no longer listed on the accessibility bus after the load.
        print("  Print through AT-SPI after each load (True enabled, None program not found on the bus): "
              + ", ".join(f"{c} {[r.get('print') for r in results[c]]}" for c in ("on", "reader")))
        print()
        print("10,000 lines: click on the splash to text on screen (target < 0.1 s; idle detection "
              "resolves about 10 ms)")
        for c, rs in small_results.items():
            t, t0, t1 = summary([r["seconds"] for r in rs])
            # A load shorter than one clock tick of CPU leaves /proc's counters unchanged.
            shown = f"{t * 1000:6.0f} ms" if t > 0 else "< 10 ms (under one clock tick of CPU)"
            print(f"  vrxpv a11y {c:6s} {shown} [{t0 * 1000:.0f}-{t1 * 1000:.0f}]  "
                  f"peak {mib(statistics.median(r['hwm'] for r in rs)):.1f} MiB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
