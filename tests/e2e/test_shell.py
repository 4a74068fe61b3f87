"""The program end to end under Xvfb + openbox: the window, the pointer, F4 and the other ways
out, the no-tablet message and the missing display."""

import os
import signal
import subprocess
import tempfile
import time

import e2e
from e2e import Session, fail, mul_div

MAX_X, MAX_Y = 5000, 3750
INFO_TITLE = ("Serial  tablet  test  program  ( Version : 1.1 )  >>>>  "
              "F1 : Mode , F3 : Clear , F4 : Exit")
CYAN = (0, 255, 255)
REST = (1234, 987)
MWM_FUNC_ALL, MWM_FUNC_MINIMIZE, MWM_FUNC_MAXIMIZE, MWM_FUNC_CLOSE = 0x1, 0x8, 0x10, 0x20

vellum, tablet = e2e.programs()
tmp = tempfile.mkdtemp(prefix="vellum-e2e-shell-")


def script(name, text):
    path = os.path.join(tmp, name)
    with open(path, "w") as f:
        f.write(text)
    return path


def tablet_args(*extra):
    return ["--model", "7", "--range", str(MAX_X), str(MAX_Y)] + list(extra)


def check(condition, message):
    if not condition:
        fail(message)


def view_size(s, win):
    """The view's client size: the window's width, and its height found from the bottom
    separator (4 pixels wide, centred 48 pixels above the view's bottom edge)."""
    x, y, w, h = s.geometry(win)
    shot = s.screenshot()
    rows = [r - y for r in shot.find_rows(CYAN, x + 100) if y <= r < y + h]
    check(len(rows) >= 3, "no bottom separator in column 100: %s" % rows)
    centre = (rows[0] + rows[-1] + 1) // 2
    return (x, y), (w, centre + 48), shot


def test_window_pointer_and_f4():
    # The pen rests at one place for a long while, long enough to look at the pointer.
    rest = script("rest.txt", "gap 800\nrest 0 %d %d 0 4000 100\n" % REST)
    with Session(vellum, tablet, emulator_args=tablet_args("--script", rest)) as s:
        s.start()
        win = s.window
        time.sleep(0.5)
        check(s.title(win) == INFO_TITLE, "title %r" % s.title(win))
        state = s.wm_state(win)
        for atom in ("_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ",
                     "_NET_WM_STATE_ABOVE"):
            check(atom in state, "%s missing from %s" % (atom, sorted(state)))
        # The caption asks for no close, minimise or maximise function (openbox draws its
        # buttons regardless; the hint is what the program controls).
        hints = s.run(["xprop", "-id", win, "_MOTIF_WM_HINTS"]).stdout
        fields = [int(v, 0) for v in hints.split("=", 1)[1].split(",")]
        check(fields[0] & 1, "no MWM functions hint: %s" % hints)
        check(not fields[1] & (MWM_FUNC_ALL | MWM_FUNC_MINIMIZE | MWM_FUNC_MAXIMIZE |
                               MWM_FUNC_CLOSE), "caption functions %s" % hints)

        (ox, oy), (w, h), shot = view_size(s, win)
        sx, sy = s.screen
        check(w == sx, "view width %d on a %d-wide screen" % (w, sx))
        # The diagonal separator ends in the view's bottom-right corner.
        end = shot.pixel(ox + w - 3, oy + h - 2)
        check(end == CYAN, "diagonal end at (%d, %d) is %s" % (w - 3, h - 2, end))

        time.sleep(1.0)  # the rest has begun
        want = (ox + mul_div(REST[0], w, MAX_X), oy + mul_div(MAX_Y - REST[1], h, MAX_Y))
        got = s.pointer()
        check(got == want, "pointer at %s, packets put it at %s" % (got, want))

        t0 = time.monotonic()
        s.key("F4")
        status = s.wait_exit(2.0)
        elapsed = time.monotonic() - t0
        check(status == 0, "F4 exit status %s" % status)
        check(elapsed < 0.2, "F4 took %.0f ms" % (elapsed * 1000))
        out, err = s.vellum_output()
        check(out == "", "stdout: %r" % out)


def test_pointer_backends_none_and_uinput():
    """--pointer none leaves the pointer where it is; --pointer uinput without a usable
    /dev/uinput says once why, and the program goes on following the tablet on the screen."""
    rest = script("rest-none.txt", "gap 800\nrest 0 %d %d 0 3000 100\n" % REST)
    park = (7, 9)
    for backend in ("none", "uinput"):
        with Session(vellum, tablet, emulator_args=tablet_args("--script", rest),
                     vellum_args=["--pointer", backend]) as s:
            s.start()
            time.sleep(1.0)  # the rest has begun; it goes on for three seconds
            s.move_pointer(*park)
            time.sleep(0.5)
            check(s.pointer() == park, "--pointer %s: pointer moved to %s" % (backend, s.pointer()))
            check(s.vellum.poll() is None, "--pointer %s: vellum ended" % backend)
            s.key("F4")
            check(s.wait_exit(3.0) == 0, "--pointer %s: F4" % backend)
            out, err = s.vellum_output()
            said = [line for line in err.splitlines() if "pointer will not follow" in line]
            if backend == "none":
                check(said == [], "--pointer none: stderr %r" % err)
            elif os.access("/dev/uinput", os.W_OK):
                print("a writable /dev/uinput here: the pointer moved through it, nothing to say")
            else:
                check(len(said) == 1 and "/dev/uinput" in said[0],
                      "--pointer uinput: said %r" % err)


def test_f4_while_streaming():
    with Session(vellum, tablet, emulator_args=tablet_args()) as s:  # the built-in show
        s.start()
        time.sleep(1.5)
        check(s.vellum.poll() is None, "vellum ended on its own")
        t0 = time.monotonic()
        s.key("F4")
        status = s.wait_exit(2.0)
        elapsed = time.monotonic() - t0
        check(status == 0, "F4 exit status %s" % status)
        check(elapsed < 0.2, "F4 took %.0f ms while streaming" % (elapsed * 1000))


def test_hang_up_leaves_the_window_responsive():
    with Session(vellum, tablet, emulator_args=tablet_args("--hang-up-after", "20")) as s:
        s.start()
        time.sleep(1.5)  # 20 packets are gone in 0.2 s
        check(s.vellum.poll() is None, "vellum ended after the hang-up")
        s.key("F1")  # still answering keys: the Linear screen
        deadline = time.monotonic() + 3
        while "Event:Linear" not in s.title(s.window) and time.monotonic() < deadline:
            time.sleep(0.05)
        check("Event:Linear" in s.title(s.window), "F1 after the hang-up: %r" % s.title(s.window))
        s.key("F4")
        check(s.wait_exit(2.0) == 0, "F4 after the hang-up")
        out, err = s.vellum_output()
        # One line says the tablet was lost; nothing else (but Qt's own notice, on some set-ups).
        lines = [l for l in err.splitlines() if not l.startswith("QStandardPaths: XDG_RUNTIME_DIR")]
        check(lines == ["vellum: tablet on COM1 (%s) lost: unplugged (read: hang-up)" % s.pty],
              "stderr: %r" % err)


def test_window_manager_close_exits_normally():
    with Session(vellum, tablet, emulator_args=tablet_args()) as s:
        s.start()
        time.sleep(1.0)
        s.key("alt+F4")  # openbox's close: a WM_DELETE_WINDOW request
        check(s.wait_exit(3.0) == 0, "close by the window manager")
        # The port was closed and let go: it can be opened again (by a probe).
        r = subprocess.run([vellum, "--probe"] + s.port_args(), capture_output=True, text=True,
                           timeout=30)
        check(r.returncode == 0 and "COM1" in r.stdout, "probe after close: %r" % r.stdout)


def test_no_tablet_message_box():
    with Session(vellum, tablet, emulator_args=None) as s:
        s.start(wait_for_window=False)
        box = None
        deadline = time.monotonic() + 10
        while box is None and time.monotonic() < deadline:
            r = s.run(["xdotool", "search", "--onlyvisible", "--pid", str(s.vellum.pid)])
            ids = r.stdout.split()
            box = ids[-1] if ids else None
            time.sleep(0.1)
        check(box is not None, "no message box")
        check(s.title(box) == "Vellum", "box caption %r" % s.title(box))
        out, err = s.vellum_output()
        check("Tablet  not  found  or  no  response  at  any  COM  port !" in err,
              "stderr: %r" % err)
        titles = [s.title(w) for w in s.run(["xdotool", "search", "--name", "Serial"]).stdout.split()]
        check(INFO_TITLE not in titles, "the frame was shown")
        s.run(["xdotool", "windowactivate", "--sync", box])
        s.key("Return")
        check(s.wait_exit(3.0) == 0, "exit status after OK")


def test_no_display():
    env = dict(os.environ, DISPLAY=":%d" % (900 + os.getpid() % 50))
    env.pop("WAYLAND_DISPLAY", None)
    env.pop("QT_QPA_PLATFORM", None)
    ports = []
    for n in range(1, 5):
        ports += ["--port", "%d=/nonexistent/tty%d" % (n, n)]
    r = subprocess.run([vellum] + ports, env=env, capture_output=True, text=True, timeout=30)
    check(r.returncode == 1, "status %s" % r.returncode)
    check(r.stderr == "vellum: cannot open display '%s'\n" % env["DISPLAY"], "stderr %r" % r.stderr)
    env.pop("DISPLAY")
    r = subprocess.run([vellum] + ports, env=env, capture_output=True, text=True, timeout=30)
    check(r.returncode == 1 and r.stderr == "vellum: no DISPLAY set\n", "unset: %r" % r.stderr)


if __name__ == "__main__":
    e2e.run_tests(globals())
