"""End-to-end harness: the built vellum under Xvfb + openbox against vellum-tablet.

Each test makes one Session, which owns every process it starts and stops them all on exit:

    from e2e import Session, SEVEN_BYTE_COM1

    with Session(vellum, tablet, emulator_args=["--model", "7", "--range", "5000", "3750"]) as s:
        s.start()                         # Xvfb on a free display, openbox, emulator, vellum
        win = s.wait_window()             # the main window's id, once mapped
        assert s.title(win) == "..."
        assert {"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_ABOVE"} <= s.wm_state(win)
        shot = s.screenshot()             # Shot: .width, .height, .pixel(x, y) -> (r, g, b)
        s.key("F4")                       # real key events (XTEST) to the focused window
        assert s.wait_exit(1.0) == 0

Session(vellum, tablet, emulator_args=(), port=1, screen=(1024, 768), vellum_args=(),
        window_manager=True, env=None)
    vellum, tablet: paths of the two built programs.
    emulator_args: arguments for vellum-tablet; its first stdout line must be the pty path.
        None: no emulator, every port is a missing path (the no-tablet case).
    port: the COMn the emulator sits on; the other three ports get paths that do not exist.
    screen: Xvfb screen size.  vellum_args: extra arguments for vellum.

Methods:
    start(wait_for_window=True)  start everything; with a window, waits until it is mapped.
    start_x()                    only Xvfb and openbox (for starting vellum yourself).
    start_emulator()             only the emulator; returns the pty path (also .pty).
    start_vellum(extra_args=())  only vellum; returns the Popen.
    display                      ":N" of the Xvfb.
    run(args, **kw)              subprocess.run with DISPLAY set, text output captured.
    wait_window(timeout=10)      the id of vellum's visible top-level window.
    title(win)                   the window title (_NET_WM_NAME).
    wm_state(win)                set of _NET_WM_STATE atom names.
    geometry(win)                (x, y, width, height) of the window's client area on the screen.
    screenshot(path=None)        a Shot of the root window; saved as PNG when a path is given.
    pointer()                    (x, y) of the pointer on the screen.
    key(name)                    xdotool key name (e.g. "F4", "F1", "ctrl+n").
    move_pointer(x, y)           xdotool mousemove.
    wait_exit(timeout)           vellum's exit status, or None if it still runs after timeout.
    vellum_output()              (stdout, stderr) of vellum so far.
    kill_emulator(sig=SIGKILL)   end the emulator (the pty hangs up).
    stop()                       end everything (also done by the context manager).

Shot helpers: pixel(x, y), count(colour, rect=None), find_rows(colour, x) and
find_columns(colour, y) return the coordinates where the colour is, rect = (l, t, r, b).

Tests get the two programs' paths as their first two arguments (see CMakeLists.txt):
    vellum, tablet = e2e.programs()
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

__all__ = ["Session", "Shot", "programs", "mul_div", "fail"]


def programs():
    """(vellum, tablet) from the command line, as CTest passes them."""
    if len(sys.argv) < 3:
        fail("usage: %s VELLUM VELLUM_TABLET" % sys.argv[0])
    return sys.argv[1], sys.argv[2]


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def mul_div(a, b, c):
    """a * b / c rounded to nearest, halves away from zero; -1 when c is 0 or out of 32 bits."""
    if c == 0:
        return -1
    n = a * b
    q, r = divmod(abs(n), abs(c))
    if 2 * r >= abs(c):
        q += 1
    if (n < 0) != (c < 0):
        q = -q
    if q < -(2 ** 31) or q >= 2 ** 31:
        return -1
    return q


class Shot:
    """A screenshot: 24-bit RGB pixels, row-major."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    @staticmethod
    def from_ppm(blob):
        # P6 header: magic, width, height, maxval, each separated by whitespace (no comments
        # from ImageMagick).
        fields, at = [], 0
        while len(fields) < 4:
            while blob[at:at + 1].isspace():
                at += 1
            start = at
            while not blob[at:at + 1].isspace():
                at += 1
            fields.append(blob[start:at])
        at += 1
        if fields[0] != b"P6" or int(fields[3]) != 255:
            raise ValueError("not an 8-bit P6 image")
        w, h = int(fields[1]), int(fields[2])
        return Shot(w, h, blob[at:at + 3 * w * h])

    def pixel(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            return None
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])

    def count(self, colour, rect=None):
        l, t, r, b = rect or (0, 0, self.width, self.height)
        return sum(1 for y in range(max(t, 0), min(b, self.height))
                   for x in range(max(l, 0), min(r, self.width)) if self.pixel(x, y) == colour)

    def find_rows(self, colour, x):
        return [y for y in range(self.height) if self.pixel(x, y) == colour]

    def find_columns(self, colour, y):
        return [x for x in range(self.width) if self.pixel(x, y) == colour]


class Session:
    def __init__(self, vellum, tablet, emulator_args=(), port=1, screen=(1024, 768),
                 vellum_args=(), window_manager=True, env=None):
        self.vellum_path, self.tablet_path = vellum, tablet
        self.emulator_args = None if emulator_args is None else list(emulator_args)
        self.port, self.screen = port, screen
        self.vellum_args = list(vellum_args)
        self.window_manager = window_manager
        self.extra_env = dict(env or {})
        self.tmp = tempfile.mkdtemp(prefix="vellum-e2e-")
        self.display = None
        self.pty = None
        self.xvfb = self.wm = self.emulator = self.vellum = None
        self._vellum_out = self._vellum_err = None

    # ---- lifetime ----
    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def start(self, wait_for_window=True):
        self.start_x()
        for attempt in range(3):
            if self.emulator_args is not None:
                self.start_emulator()
            self.start_vellum()
            if not wait_for_window or not self._missed_the_tablet():
                return self
            # The probe waits a fixed 50 ms for each answer; on a machine busy with other work
            # it can miss the emulator. That start-up is not what a test is about: again.
            print("start-up %d missed the tablet on a busy machine; again" % attempt)
            for p in (self.vellum, self.emulator):
                p.kill()
                p.wait()
        fail("three start-ups in a row missed the tablet")

    def _missed_the_tablet(self):
        self.wait_window()
        if self.emulator_args is None:
            return False  # no tablet is what this test wants
        _, err = self.vellum_output()
        return "Tablet  not  found" in err

    def start_x(self):
        if not shutil.which("Xvfb"):
            fail("Xvfb is not installed (scripts/install-deps.sh)")
        r, w = os.pipe()
        w_, h_ = self.screen
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "%dx%dx24" % (w_, h_),
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        number = b""
        deadline = time.monotonic() + 10
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(r, 16)
            if not chunk:
                break
            number += chunk
        os.close(r)
        if not number.strip():
            fail("Xvfb did not report a display")
        self.display = ":" + number.decode().strip()
        if self.window_manager:
            self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self._env(),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self._until(lambda: "window id #" in self.run(
                ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]).stdout, 10, "openbox to start")

    def start_emulator(self):
        out_path = os.path.join(self.tmp, "emulator.out")
        with open(out_path, "wb") as out:
            self.emulator = subprocess.Popen([self.tablet_path] + self.emulator_args,
                                             stdout=out, stderr=None)

        def first_line():
            with open(out_path, "rb") as f:
                text = f.read()
            if b"\n" in text:
                self.pty = text.split(b"\n", 1)[0].decode()
                return True
            if self.emulator.poll() is not None:
                fail("vellum-tablet ended (%s) before naming its pty" % self.emulator.returncode)
            return False

        self._until(first_line, 10, "vellum-tablet to print its pty")
        return self.pty

    def port_args(self):
        args = []
        for n in range(1, 5):
            path = self.pty if (n == self.port and self.pty) else "/nonexistent/vellum-e2e-tty%d" % n
            args += ["--port", "%d=%s" % (n, path)]
        return args

    def start_vellum(self, extra_args=()):
        for f in (self._vellum_out, self._vellum_err):
            if f:
                f.close()
        self._vellum_out = open(os.path.join(self.tmp, "vellum.out"), "wb")
        self._vellum_err = open(os.path.join(self.tmp, "vellum.err"), "wb")
        self.vellum = subprocess.Popen(
            [self.vellum_path] + self.port_args() + self.vellum_args + list(extra_args),
            env=self._env(), stdout=self._vellum_out, stderr=self._vellum_err)
        return self.vellum

    def stop(self):
        for name in ("vellum", "emulator", "wm", "xvfb"):
            p = getattr(self, name)
            if p is not None and p.poll() is None:
                p.terminate()
                try:
                    p.wait(3)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        for f in (self._vellum_out, self._vellum_err):
            if f:
                f.close()
        shutil.rmtree(self.tmp, ignore_errors=True)

    # ---- helpers ----
    def _env(self):
        env = dict(os.environ)
        env.pop("WAYLAND_DISPLAY", None)
        env["DISPLAY"] = self.display
        env["QT_QPA_PLATFORM"] = "xcb"
        env.update(self.extra_env)
        return env

    def _until(self, predicate, timeout, what):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            value = predicate()
            if value:
                return value
            time.sleep(0.05)
        fail("timed out waiting for " + what)

    def run(self, args, **kw):
        return subprocess.run(args, env=self._env(), capture_output=True, text=True, **kw)

    # ---- the window ----
    def wait_window(self, timeout=10):
        def found():
            if self.vellum.poll() is not None:
                out, err = self.vellum_output()
                fail("vellum ended with %s before showing a window; stderr: %s"
                     % (self.vellum.returncode, err.strip()))
            r = self.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.vellum.pid)])
            ids = r.stdout.split()
            return ids[-1] if ids else None

        self.window = self._until(found, timeout, "vellum's window")
        return self.window

    def title(self, win):
        return self.run(["xdotool", "getwindowname", str(win)]).stdout.rstrip("\n")

    def wm_state(self, win):
        out = self.run(["xprop", "-id", str(win), "_NET_WM_STATE"]).stdout
        if "=" not in out:
            return set()
        return {a.strip() for a in out.split("=", 1)[1].split(",") if a.strip()}

    def geometry(self, win):
        out = self.run(["xwininfo", "-id", str(win)]).stdout
        values = {}
        for line in out.splitlines():
            if ":" in line:
                k, v = line.split(":", 1)
                values[k.strip()] = v.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def screenshot(self, path=None):
        ppm = os.path.join(self.tmp, "shot.ppm")
        r = self.run(["import", "-window", "root", "-depth", "8", ppm])
        if r.returncode != 0:
            fail("import failed: " + r.stderr.strip())
        with open(ppm, "rb") as f:
            shot = Shot.from_ppm(f.read())
        if path:
            subprocess.run(["convert", ppm, path], check=True)
        return shot

    def pointer(self):
        out = self.run(["xdotool", "getmouselocation"]).stdout.split()
        fields = dict(f.split(":", 1) for f in out if ":" in f)
        return int(fields["x"]), int(fields["y"])

    def key(self, name):
        return self.run(["xdotool", "key", "--clearmodifiers", name])

    def move_pointer(self, x, y):
        return self.run(["xdotool", "mousemove", str(x), str(y)])

    # ---- the processes ----
    def wait_exit(self, timeout):
        try:
            return self.vellum.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def vellum_output(self):
        def read(name):
            with open(os.path.join(self.tmp, name), "rb") as f:
                return f.read().decode(errors="replace")
        return read("vellum.out"), read("vellum.err")

    def kill_emulator(self, sig=signal.SIGKILL):
        if self.emulator and self.emulator.poll() is None:
            self.emulator.send_signal(sig)
            self.emulator.wait()


def run_tests(namespace, only=()):
    """Runs a test file's test_* functions in order (only those named in `only`, if any)."""
    for name, test in list(namespace.items()):
        if name.startswith("test_") and callable(test) and (not only or name in only):
            t0 = time.monotonic()
            test()
            print("ok %s (%.1f s)" % (name, time.monotonic() - t0))
