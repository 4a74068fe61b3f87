"""Ctrl+P under Xvfb + openbox: the print dialog stands over the top-most frame, the reader goes
on drawing while it is open, "Print to File" writes the view as a one-page PDF, and the keys
reach the view afterwards."""

import os
import re
import tempfile
import time

import e2e
from e2e import Session, fail

LINEAR_SUFFIX = "Event:Linear"
RED = (255, 0, 0)  # button code 3 traces red on every screen
# A short stroke, then a slow one (12 s) that goes on while the dialog is open, in the lower
# left where the dialog (centred) does not cover it.
STROKES = ("gap 800\nstroke 3 500 2500 2000 3300 60 60 60\n"
           "gap 200\nstroke 3 500 850 2000 850 1500 60 60\n")
AREA_B = (90, 470, 420, 640)

vellum, tablet = e2e.programs()
home = tempfile.mkdtemp(prefix="vellum-e2e-print-")


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


def window_named(s, name):
    r = s.run(["xdotool", "search", "--onlyvisible", "--pid", str(s.vellum.pid)])
    for w in r.stdout.split():
        if s.title(w) == name:
            return w
    return None


def stacked_above(s, upper, lower):
    out = s.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"]).stdout
    order = [int(v, 16) for v in out.split("#", 1)[1].split(",")]  # bottom to top
    return order.index(int(upper)) > order.index(int(lower))


def finished_pdf(path):
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        data = f.read()
    return data if data.rstrip().endswith(b"%%EOF") else None


def test_ctrl_p_prints_the_view_to_pdf():
    script = os.path.join(home, "strokes.txt")
    with open(script, "w") as f:
        f.write(STROKES)
    # With no printer the dialog offers "Print to File (PDF)", named after the document in $HOME.
    pdf = os.path.join(home, "Untitled.pdf")
    tablet_args = ["--model", "7", "--range", "5000", "3750", "--script", script, "--once"]
    with Session(vellum, tablet, emulator_args=tablet_args, env={"HOME": home}) as s:
        s.start()
        frame = s.window
        fx, fy, fw, fh = s.geometry(frame)
        time.sleep(2.0)  # stroke A is drawn

        s.key("ctrl+p")
        dialog = wait_for(lambda: window_named(s, "Print"), 10, "the print dialog")
        check(stacked_above(s, dialog, frame), "the print dialog is under the frame")
        # The reader goes on while the dialog is open: stroke B grows beside it.
        l, t, r, b = AREA_B
        drawn = s.screenshot().count(RED, (fx + l, fy + t, fx + r, fy + b))
        wait_for(lambda: s.screenshot().count(RED, (fx + l, fy + t, fx + r, fy + b)) > drawn + 50,
                 5, "stroke B to grow while the dialog is open")
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
        wait_for(lambda: LINEAR_SUFFIX in s.title(frame), 5, "F1 after printing")
        s.key("F4")
        check(s.wait_exit(3.0) == 0, "F4 exit status")


if __name__ == "__main__":
    for name, test in list(globals().items()):
        if name.startswith("test_") and callable(test):
            t0 = time.monotonic()
            test()
            print("ok %s (%.1f s)" % (name, time.monotonic() - t0))
