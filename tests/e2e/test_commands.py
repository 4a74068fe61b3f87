"""The shell's commands under Xvfb + openbox: Ctrl+P prints the view, Ctrl+O and Ctrl+N repaint it
as a document switch does, `vellum DOCUMENT` opens DOCUMENT at start-up (or says it cannot and
goes on), and the frame carries the program's icon. Dialogs and boxes stand over the top-most
frame, and the keys reach the view again when they close."""

import atexit
import os
import re
import shutil
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
STROKE_A = "gap 800\nstroke 3 500 2500 2000 3300 60 60 60\n"
# Client rectangles (of a 1024 x 768 screen) of stroke A, upper left in the trace area, and of
# the strokes below it, where a centred dialog does not cover them.
AREA_A = (90, 70, 420, 260)
AREA_B = (90, 470, 420, 640)
CASE = 0xFF37424D    # ARGB of the tablet's case in res/vellum.svg
BARREL = 0xFF1F6FBF  # and of the pen's barrel

vellum, tablet = e2e.programs()
tmp = tempfile.mkdtemp(prefix="vellum-e2e-commands-")
atexit.register(shutil.rmtree, tmp, ignore_errors=True)


def check(condition, message):
    if not condition:
        fail(message)


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
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


def write(name, text=""):
    path = os.path.join(tmp, name)
    with open(path, "w") as f:
        f.write(text)
    return path


def finished_pdf(path):
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        data = f.read()
    return data if data.rstrip().endswith(b"%%EOF") else None


def test_ctrl_p_prints_the_view_to_pdf():
    # Stroke A, then a slow one (12 s) that goes on while the dialog is open.
    script = write("print.txt", STROKE_A + "gap 200\nstroke 3 500 850 2000 850 1500 60 60\n")
    # With no printer the dialog offers "Print to File (PDF)", named after the document in $HOME.
    pdf = os.path.join(tmp, "Untitled.pdf")
    with Session(vellum, tablet, emulator_args=TABLET + ["--script", script, "--once"],
                 env={"HOME": tmp}) as s:
        s.start()
        frame = s.window
        _, _, fw, fh = s.geometry(frame)
        time.sleep(2.0)  # stroke A is drawn

        s.key("ctrl+p")
        dialog = wait_for(lambda: window_named(s, "Print"), 10, "the print dialog")
        check(stacked_above(s, dialog, frame), "the print dialog is under the frame")
        # The reader goes on while the dialog is open: stroke B grows beside it.
        drawn = red_in(s, AREA_B)
        wait_for(lambda: red_in(s, AREA_B) > drawn + 50, 5, "stroke B to grow under the dialog")
        s.run(["xdotool", "windowactivate", "--sync", dialog])
        s.key("Return")
        data = wait_for(lambda: finished_pdf(pdf), 10, "the PDF in " + pdf)
        check(data.startswith(b"%PDF-"), "not a PDF: %r" % data[:16])
        pages = re.findall(rb"/Type\s*/Page\b", data)
        check(len(pages) == 1, "%d pages" % len(pages))
        # The picture is the view: the frame's width, its height less the status bar's.
        width = re.search(rb"/Width\s+(\d+)", data)
        height = re.search(rb"/Height\s+(\d+)", data)
        check(width and int(width.group(1)) == fw, "picture width %s, frame %d" % (width, fw))
        check(height and fh - 40 < int(height.group(1)) < fh, "picture height %s, frame %d"
              % (height, fh))

        s.key("F1")
        wait_for(lambda: s.title(frame) == LINEAR_TITLE, 5, "F1 after printing")
        s.key("F4")
        check(s.wait_exit(3.0) == 0, "F4 exit status")


def test_open_and_new_repaint_the_view():
    # Stroke B well below A, 8 s later: time enough to open a document in between.
    script = write("documents.txt", STROKE_A + "gap 8000\nstroke 3 500 500 2000 1200 60 60 60\n")
    notes = write("notes.vlm")
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
        # The title is set before the repaint reaches the X server; a slow (sanitized) build
        # shows the gap.
        wait_for(lambda: red_in(s, AREA_A) == 0, 3, "Ctrl+O to clear stroke A")

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
    notes = write("start.vlm")
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
            (["--probe", "a.vlm"], 2, None),
            (["--stats"], 2, "vellum: --stats goes with --monitor only\n")):
        ports = ["--port=%d=/nonexistent/vellum-e2e-tty%d" % (n, n) for n in range(1, 5)]
        r = subprocess.run([vellum] + ports + args, capture_output=True, text=True, timeout=30)
        check(r.returncode == status, "%s: status %s" % (args, r.returncode))
        check(err is None or r.stderr == err, "%s: stderr %r" % (args, r.stderr))


def icons(s, win):
    """_NET_WM_ICON as {(width, height): [ARGB, ...]}."""
    out = s.run(["xprop", "-id", win, "-notype", "-f", "_NET_WM_ICON", "32c",
                 "_NET_WM_ICON"]).stdout
    if "=" not in out:
        return {}
    values = [int(v) for v in out.split("=", 1)[1].replace("\n", " ").split(",")]
    found, at = {}, 0
    while at + 2 <= len(values):
        w, h = values[at], values[at + 1]
        found[(w, h)] = values[at + 2:at + 2 + w * h]
        at += 2 + w * h
    return found


def test_frame_shows_the_program_icon():
    with Session(vellum, tablet, emulator_args=TABLET) as s:
        s.start()
        found = icons(s, s.window)
        check(found, "the frame has no icon")
        # Large enough for the details; drawn at 64 x 64 the SVG is pixel-exact.
        big = [size for size in found if size[0] >= 48]
        check(big, "only small icons: %s" % sorted(found))
        pixels = found[max(big)]
        check(pixels.count(CASE) > len(pixels) // 10, "no tablet case in the %s icon" % (max(big),))
        check(pixels.count(BARREL) > len(pixels) // 100, "no pen in the %s icon" % (max(big),))
        s.key("F4")
        check(s.wait_exit(3.0) == 0, "F4 exit status")


if __name__ == "__main__":
    e2e.run_tests(globals())
