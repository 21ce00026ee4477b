"""A real X desktop for the desktop test: Xvfb, openbox and the accessibility bus, and the
means to look at windows from outside the program, as a window manager and a screen reader do.

Only Debian's tools are used: Xvfb, openbox, xprop, xdotool, import (imagemagick) and
libatspi through GObject introspection.
"""

import http.server
import os
import re
import shutil
import subprocess
import threading
import time
import warnings

# Qt answers the older text calls (GetTextAtOffset) that libatspi marks as deprecated.
warnings.filterwarnings("ignore", category=DeprecationWarning)

TOOLS = ["Xvfb", "openbox", "xprop", "xdotool", "import", "desktop-file-validate"]
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def missing_tools():
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    if not os.access(BUS_LAUNCHER, os.X_OK):
        missing.append(BUS_LAUNCHER)
    try:
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi  # noqa: F401
    except (ImportError, ValueError):
        missing.append("gir1.2-atspi-2.0 (python3-pyatspi)")
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        missing.append("a session bus (run under dbus-run-session)")
    return missing


def wait_for(what, probe, timeout=10.0, interval=0.1):
    """Polls probe() until it returns something true; fails with `what` after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


class Desktop:
    """Xvfb with openbox and an accessibility bus; stops them all on close()."""

    def __init__(self, workdir):
        self.workdir = workdir
        self.procs = []
        try:
            self._start_desktop()
        except BaseException:
            # Nothing stays behind a desktop that did not come up.
            self.close()
            raise

    def _start_desktop(self):
        self.env = dict(os.environ)
        # xprop then prints titles as UTF-8, not as escapes.
        self.env["LC_ALL"] = "C.UTF-8"
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp", "-dpi", "96"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(xvfb)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise AssertionError("Xvfb did not start")
        self.display = ":" + number
        self.env["DISPLAY"] = self.display
        self.env.pop("WAYLAND_DISPLAY", None)
        self._start(["openbox", "--sm-disable"])
        wait_for("openbox", lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.xprop_root("_NET_SUPPORTING_WM_CHECK"),
                 timeout=30)
        # The accessibility bus, announced on the session bus as a screen reader's desktop has it.
        self._start([BUS_LAUNCHER, "--launch-immediately"])
        time.sleep(0.5)
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
        self.Atspi = Atspi

    def _start(self, argv, **kwargs):
        proc = subprocess.Popen(argv, env=self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, **kwargs)
        self.procs.append(proc)
        return proc

    def close(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()

    # ---- the window manager's view ----

    def run(self, argv):
        return subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=20).stdout

    def xprop_root(self, *props):
        return self.run(["xprop", "-root", *props])

    def windows(self):
        """Ids of the managed top-level windows, as the window manager lists them."""
        out = self.xprop_root("_NET_CLIENT_LIST")
        return re.findall(r"0x[0-9a-f]+", out)

    def props(self, wid):
        """The properties of one client window that a desktop reads, parsed."""
        out = self.run(["xprop", "-id", wid, "_NET_WM_NAME", "WM_NAME", "WM_NORMAL_HINTS",
                        "_MOTIF_WM_HINTS", "_NET_WM_ALLOWED_ACTIONS", "_NET_FRAME_EXTENTS",
                        "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE", "WM_TRANSIENT_FOR"])
        props = {"id": wid, "raw": out}
        name = re.search(r'^_NET_WM_NAME\(UTF8_STRING\) = "(.*)"$', out, re.M)
        props["name"] = name.group(1).replace('\\"', '"').replace("\\\\", "\\") if name else None
        motif = re.search(r"^_MOTIF_WM_HINTS\(_MOTIF_WM_HINTS\) = (.*)$", out, re.M)
        props["motif"] = [int(v, 0) for v in motif.group(1).split(",")] if motif else None
        actions = re.search(r"^_NET_WM_ALLOWED_ACTIONS\(ATOM\) = (.*)$", out, re.M)
        props["actions"] = {a.strip() for a in actions.group(1).split(",")} if actions else set()
        extents = re.search(r"^_NET_FRAME_EXTENTS\(CARDINAL\) = (.*)$", out, re.M)
        props["frame"] = [int(v) for v in extents.group(1).split(",")] if extents else None
        minimum = re.search(r"program specified minimum size: (\d+) by (\d+)", out)
        maximum = re.search(r"program specified maximum size: (\d+) by (\d+)", out)
        props["min"] = tuple(map(int, minimum.groups())) if minimum else None
        props["max"] = tuple(map(int, maximum.groups())) if maximum else None
        return props

    def window_named(self, name, timeout=10.0):
        """Waits for a managed window whose title (_NET_WM_NAME) is exactly `name`."""
        def find():
            for wid in self.windows():
                props = self.props(wid)
                if props["name"] == name:
                    return props
            return None
        try:
            return wait_for(f'a window titled "{name}"', find, timeout)
        except AssertionError:
            titles = [self.props(w)["name"] for w in self.windows()]
            raise AssertionError(f'no window titled "{name}"; the window manager lists {titles}')

    def gone(self, wid, timeout=10.0):
        wait_for(f"window {wid} to close", lambda: wid not in self.windows(), timeout)

    def key(self, *keys):
        """Types keys into the focused window, as the keyboard would."""
        self.run(["xdotool", "key", "--delay", "60", *keys])
        time.sleep(0.3)

    def type(self, text):
        self.run(["xdotool", "type", "--delay", "5", text])
        time.sleep(0.2)

    def screenshot(self, path):
        self.run(["import", "-window", "root", path])

    def window_shot(self, wid, path, colours=256):
        """One window with its frame, as a small PNG of at most 256 colours (for documentation)."""
        props = self.props(wid)
        out = self.run(["xwininfo", "-id", wid])
        x, y, w, h = (int(re.search(rf"{label}:\s+(-?\d+)", out).group(1))
                      for label in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
        left, right, top, bottom = props["frame"] or [0, 0, 0, 0]
        geometry = f"{w + left + right}x{h + top + bottom}+{max(0, x - left)}+{max(0, y - top)}"
        shot = path + ".full.png"
        self.run(["import", "-window", "root", shot])
        subprocess.run(["convert", shot, "-crop", geometry, "+repage", "-dither", "None", "-colors", str(colours),
                        "-strip", "-define", "png:compression-level=9", "PNG8:" + path], check=True, timeout=60)
        os.remove(shot)

    # ---- the screen reader's view ----

    def application(self, name, timeout=10.0):
        Atspi = self.Atspi

        def find():
            desktop = Atspi.get_desktop(0)
            for i in range(desktop.get_child_count()):
                app = desktop.get_child_at_index(i)
                if app is not None and app.get_name() == name:
                    return app
            return None
        return wait_for(f'application "{name}" on the accessibility bus', find, timeout)

    def fresh(self, node):
        """Drops what libatspi cached of a subtree, so that states and texts are read anew."""
        node.clear_cache()
        return node


class Node:
    """A plain snapshot of one accessible object and its subtree."""

    def __init__(self, acc, Atspi, depth=0):
        self.role = acc.get_role_name()
        self.name = acc.get_name() or ""
        self.description = acc.get_description() or ""
        states = acc.get_state_set()
        self.enabled = states.contains(Atspi.StateType.ENABLED) or states.contains(Atspi.StateType.SENSITIVE)
        self.checked = states.contains(Atspi.StateType.CHECKED)
        self.focused = states.contains(Atspi.StateType.FOCUSED)
        self.text = None
        self.caret_line = None
        self.selection = None
        if "Text" in acc.get_interfaces():
            self.text = Atspi.Text.get_text(acc, 0, Atspi.Text.get_character_count(acc))
            # What a screen reader says on arriving: the line at the caret. Qt answers the
            # older GetTextAtOffset call.
            caret = Atspi.Text.get_caret_offset(acc)
            self.caret_line = Atspi.Text.get_text_at_offset(acc, caret, Atspi.TextBoundaryType.LINE_START).content
            if Atspi.Text.get_n_selections(acc) > 0:
                r = Atspi.Text.get_selection(acc, 0)
                self.selection = (r.start_offset, r.end_offset)
        self.children = []
        if depth < 12:
            for i in range(acc.get_child_count()):
                child = acc.get_child_at_index(i)
                if child is not None:
                    self.children.append(Node(child, Atspi, depth + 1))

    def walk(self):
        yield self
        for child in self.children:
            yield from child.walk()

    def find(self, role=None, name=None):
        for node in self.walk():
            if (role is None or node.role == role) and (name is None or node.name == name):
                return node
        return None

    def dump(self, indent=0):
        lines = [f"{'  ' * indent}{self.role}: {self.name!r}"
                 + (f" [{self.description}]" if self.description else "")
                 + ("" if self.enabled else " (disabled)") + (" (checked)" if self.checked else "")]
        for child in self.children:
            lines.append(child.dump(indent + 1))
        return "\n".join(lines)


class Check:
    """Collects failed expectations, so that one run reports all of them."""

    def __init__(self):
        self.failures = []

    def equal(self, what, actual, expected):
        if actual != expected:
            self.failures.append(f"{what}: expected {expected!r}, got {actual!r}")

    def true(self, what, condition, detail=""):
        if not condition:
            self.failures.append(what + (f" ({detail})" if detail else ""))


class VersionServer:
    """The author's web site on loopback: /dl/swv.txt answers with `body`, or 404 when None."""

    def __init__(self, body=None):
        self.body = body
        self.requests = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                server.requests.append(self.path)
                if self.path != "/dl/swv.txt" or server.body is None:
                    self.send_error(404)
                    return
                data = server.body.encode()
                self.send_response(200)
                self.send_header("Content-Type", "text/plain")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}"

    def close(self):
        self.httpd.shutdown()
