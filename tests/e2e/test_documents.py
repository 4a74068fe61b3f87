"""The document commands under Xvfb + openbox: Ctrl+O and Ctrl+N repaint the view as a document
switch does, and `vellum DOCUMENT` opens DOCUMENT at start-up (or says it cannot and goes on)."""

import os
import subprocess
import tempfile
import time

import e2e
from e2e import Session, fail

INFO_TITLE = ("Serial  tablet  test  program  ( Version : 1.1 )  >>>>  "
              "F1 : Mode , F3 : Clear , F4 : Exit")
LINEAR_TITLE = ("Tablet Size : 5''x3.75'',  Resolution : 1000LPI,  Installed on : COM1  "
                "<< F1:Model, F5:Next, F3:Clear, F4:Exit, Event:Linear")
RED = (255, 0, 0)  # button code 3 traces red on every screen
TABLET = ["--model", "7", "--range", "5000", "3750"]
# Stroke A in the upper left of the trace area, stroke B well below it, 8 s apart: time enough
# to open a document in between.
STROKES = ("gap 800\nstroke 3 500 2500 2000 3300 60 60 60\n"
           "gap 8000\nstroke 3 500 500 2000 1200 60 60 60\n")
# Client rectangles (of a 1024 x 768 screen) that hold each stroke and nothing else red.
AREA_A = (90, 70, 420, 260)
AREA_B = (90, 470, 420, 640)

vellum, tablet = e2e.programs()
tmp = tempfile.mkdtemp(prefix="vellum-e2e-documents-")


def check(condition, message):
    if not condition:
        fail(message)


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.1)
    fail("timed out waiting for " + what)


def red_in(s, area):
    x, y, _, _ = s.geometry(s.window)
    l, t, r, b = area
    return s.screenshot().count(RED, (x + l, y + t, x + r, y + b))


def windows(s):
    r = s.run(["xdotool", "search", "--onlyvisible", "--pid", str(s.vellum.pid)])
    return r.stdout.split()


def window_named(s, name):
    for w in windows(s):
        if s.title(w) == name:
            return w
    return None


def stacked_above(s, upper, lower):
    out = s.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"]).stdout
    order = [int(v, 16) for v in out.split("#", 1)[1].split(",")]  # bottom to top
    return order.index(int(upper)) > order.index(int(lower))


def document(name):
    path = os.path.join(tmp, name)
    with open(path, "w"):
        pass
    return path


def test_open_and_new_repaint_the_view():
    script = os.path.join(tmp, "strokes.txt")
    with open(script, "w") as f:
        f.write(STROKES)
    notes = document("notes.vlm")
    with Session(vellum, tablet, emulator_args=TABLET + ["--script", script, "--once"],
                 env={"HOME": tmp}) as s:
        s.start()
        wait_for(lambda: red_in(s, AREA_A) > 50, 8, "stroke A on the info screen")
        time.sleep(1.0)  # the stroke's last packets

        s.key("ctrl+o")
        wait_for(lambda: window_named(s, "Open"), 5, "the Open dialog")
        dialog = window_named(s, "Open")
        check(stacked_above(s, dialog, s.window), "the Open dialog is under the frame")
        s.run(["xdotool", "type", "--delay", "5", notes])
        s.key("Return")
        wait_for(lambda: window_named(s, "Open") is None, 5, "the Open dialog to close")
        # The document switch repaints: the trace is gone and the view's title is back.
        wait_for(lambda: s.title(s.window) == INFO_TITLE, 3,
                 "the info title after Ctrl+O (%r)" % s.title(s.window))
        check(red_in(s, AREA_A) == 0, "stroke A survived Ctrl+O")

        wait_for(lambda: red_in(s, AREA_B) > 50, 10, "stroke B on the info screen")
        time.sleep(1.0)
        s.key("ctrl+n")
        wait_for(lambda: red_in(s, AREA_B) == 0, 3, "Ctrl+N to clear stroke B")
        check(s.title(s.window) == INFO_TITLE, "title after Ctrl+N: %r" % s.title(s.window))

        # On a test screen the repaint restores that screen's title.
        s.key("F1")
        wait_for(lambda: s.title(s.window) == LINEAR_TITLE, 3, "the Linear screen")
        s.key("ctrl+n")
        time.sleep(0.5)
        check(s.title(s.window) == LINEAR_TITLE, "title after Ctrl+N: %r" % s.title(s.window))
        s.key("F4")
        check(s.wait_exit(3.0) == 0, "F4 exit status")


def test_document_on_the_command_line():
    notes = document("start.vlm")
    with Session(vellum, tablet, emulator_args=TABLET, vellum_args=[notes],
                 env={"HOME": tmp}) as s:
        s.start()
        wait_for(lambda: s.title(s.window) == INFO_TITLE, 5, "the info screen")
        check(len(windows(s)) == 1, "more than the frame: %s" % windows(s))
        s.key("F4")
        check(s.wait_exit(3.0) == 0, "F4 exit status")

    # Missing or unreadable: the error box over the frame, then the program goes on with no
    # document.
    for bad in (os.path.join(tmp, "missing.vlm"), tmp):
        with Session(vellum, tablet, emulator_args=TABLET, vellum_args=[bad],
                     env={"HOME": tmp}) as s:
            s.start()
            wait_for(lambda: window_named(s, "Vellum"), 5, "%s: the error box" % bad)
            box = window_named(s, "Vellum")
            frame = [w for w in windows(s) if w != box]
            check(len(frame) == 1, "%s: windows %s" % (bad, windows(s)))
            check(stacked_above(s, box, frame[0]), "%s: the box is under the frame" % bad)
            s.run(["xdotool", "windowactivate", "--sync", box])
            s.key("Return")
            wait_for(lambda: window_named(s, "Vellum") is None, 5, "%s: the box to close" % bad)
            s.window = frame[0]
            wait_for(lambda: s.title(s.window) == INFO_TITLE, 5, "%s: the info screen" % bad)
            s.key("F1")  # the keys reach the view again
            wait_for(lambda: s.title(s.window) == LINEAR_TITLE, 5, "%s: F1 after the box" % bad)
            s.key("F4")
            check(s.wait_exit(3.0) == 0, "%s: F4 exit status" % bad)
            out, err = s.vellum_output()
            check(out == "", "%s: stdout %r" % (bad, out))


def test_options_keep_their_exit_status():
    for args, status, err in (
            (["-x"], 2, "vellum: unknown option '-x' (try --help)\n"),
            (["a.vlm", "b.vlm"], 2, "vellum: unexpected argument 'b.vlm' (try --help)\n"),
            (["--probe", "a.vlm"], 2, None)):
        ports = []
        for n in range(1, 5):
            ports += ["--port", "%d=/nonexistent/vellum-e2e-tty%d" % (n, n)]
        r = subprocess.run([vellum] + ports + args, capture_output=True, text=True, timeout=30)
        check(r.returncode == status, "%s: status %s" % (args, r.returncode))
        check(err is None or r.stderr == err, "%s: stderr %r" % (args, r.stderr))


if __name__ == "__main__":
    for name, test in list(globals().items()):
        if name.startswith("test_") and callable(test):
            t0 = time.monotonic()
            test()
            print("ok %s (%.1f s)" % (name, time.monotonic() - t0))
