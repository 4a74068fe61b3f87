"""The test screens end to end: F1/F5 walk with the exact titles, and screenshots of each screen
while the emulator streams a script of one stroke per button code and a resting pen.

Set VELLUM_E2E_SHOTS to a directory to keep the screenshots.
"""

import os
import tempfile
import time

import e2e
from e2e import Session, fail, mul_div

MAX_X, MAX_Y = 5000, 3750
STROKE_YS = [3500 - 300 * i for i in range(7)]  # code k + 1 at STROKE_YS[k]
STROKE_X0, STROKE_X1 = 2500, 4500
PRESSURE = 400  # width MulDiv(400, 50, 512) = 39 on the Pressure screen
REST = (4000, 600)

# RGB of the trace colours by button code.
COLOURS = {1: (255, 255, 255), 2: (255, 0, 255), 3: (255, 0, 0), 4: (0, 255, 255),
           5: (0, 255, 0), 6: (255, 255, 0), 7: (0, 0, 255)}
BLACK, WHITE, RED, CYAN = (0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 255, 255)

HEAD = "Tablet Size : 5''x3.75'',  Resolution : 1000LPI,  Installed on : COM1  << F1:Model, " \
       "F5:Next, F3:Clear, F4:Exit, Event:"
INFO_TITLE = ("Serial  tablet  test  program  ( Version : 1.1 )  >>>>  "
              "F1 : Mode , F3 : Clear , F4 : Exit")

# One loop of the stream takes about 2.5 s (8 ms a packet).
LOOP_S = 2.8


def script():
    lines = []
    for code, y in zip(range(1, 8), STROKE_YS):
        lines.append("stroke %d %d %d %d %d 20 %d %d" % (code, STROKE_X0, y, STROKE_X1, y,
                                                         PRESSURE, PRESSURE))
        lines.append("packet 0 %d %d" % (STROKE_X1, y))
    # A resting pen with code 3, then one release so the code changes every loop.
    lines.append("rest 3 %d %d 0 150 %d" % (REST[0], REST[1], PRESSURE))
    lines.append("packet 0 %d %d" % REST)
    return "\n".join(lines) + "\n"


class Screens:
    def __init__(self, session, shots_dir):
        self.s, self.shots_dir = session, shots_dir
        self.win = session.wait_window()

    def view_box(self, shot):
        """(x, y, width, height) of the view: the window's client area above the status bar,
        found as the black area of a test screen."""
        x, y, w, _ = self.s.geometry(self.win)
        h = 0
        while shot.pixel(x + 5, y + h) == BLACK:
            h += 1
        if h < 100:
            fail("no black test screen at (%d, %d)" % (x + 5, y))
        return x, y, w, h

    def key(self, name, settle=0.3):
        self.s.key(name)
        time.sleep(settle)

    def shot(self, name):
        path = os.path.join(self.shots_dir, name + ".png") if self.shots_dir else None
        return self.s.screenshot(path)

    def expect_title(self, tail):
        deadline = time.monotonic() + 3
        want = INFO_TITLE if tail is None else HEAD + tail
        while time.monotonic() < deadline:
            title = self.s.title(self.win)
            if title == want:
                return
            time.sleep(0.05)
        fail("title %r, expected %r" % (title, want))


def client_y(tablet_y, h):
    return mul_div(MAX_Y - tablet_y, h, MAX_Y)


def check_linear(sc):
    shot = sc.shot("linear")
    ox, oy, w, h = sc.view_box(shot)
    for px, py in [(w // 30, h // 25), (w // 5, h // 25), (w // 30, h // 4), (w // 5, h // 4)]:
        if shot.pixel(ox + px, oy + py) != CYAN:
            fail("Linear arrow point (%d, %d) is %s, not cyan" % (px, py,
                                                                  shot.pixel(ox + px, oy + py)))
    mid_x = ox + mul_div((STROKE_X0 + STROKE_X1) // 2, w, MAX_X)
    for code, ty in zip(range(1, 8), STROKE_YS):
        y = oy + client_y(ty, h)
        if shot.pixel(mid_x, y) != COLOURS[code]:
            fail("Linear stroke of code %d at y %d is %s" % (code, y, shot.pixel(mid_x, y)))
        # One pixel wide on Linear.
        if shot.pixel(mid_x, y - 3) != BLACK or shot.pixel(mid_x, y + 3) != BLACK:
            fail("Linear stroke of code %d is wider than a pixel" % code)
    return ox, oy, w, h


def check_pressure(sc, box):
    shot = sc.shot("pressure")
    ox, oy, w, h = box
    mid_x = ox + mul_div((STROKE_X0 + STROKE_X1) // 2, w, MAX_X)
    for code, ty in zip(range(1, 8), STROKE_YS):
        y = oy + client_y(ty, h)
        rows = [r for r in range(y - 30, y + 31) if shot.pixel(mid_x, r) == COLOURS[code]]
        want = 1 if code in (2, 4) else 39
        if abs(len(rows) - want) > 1:
            fail("Pressure stroke of code %d is %d pixels wide, expected %d" %
                 (code, len(rows), want))
    if shot.pixel(ox + w // 5, oy + h // 25) != BLACK:
        fail("the Pressure screen has no arrows")


def check_shake(sc, box):
    shot = sc.shot("shake")
    ox, oy, w, h = box
    band = (ox, oy + mul_div(h, 1, 3), ox + w, oy + mul_div(h, 2, 3))
    cell = w // 30
    white = [(x, y) for y in range(oy + h // 2, oy + h // 2 + cell)
             for x in range(ox + w // 2 - 6 * cell, ox + w // 2 + 6 * cell)
             if shot.pixel(x, y) == WHITE]
    if not white:
        fail("no Shake numbers on the middle line")
    left = min(x for x, _ in white) - ox
    # "4000, 600" or a stroke position: 9 to 11 characters start 4 or 5 cells left of the middle.
    if not (w // 2 - 5 * cell <= left < w // 2 - 3 * cell):
        fail("Shake text starts at x %d, middle %d, cell %d" % (left, w // 2, cell))
    outside = shot.count(WHITE, (ox, oy, ox + w, band[1])) + \
        shot.count(WHITE, (ox, band[3], ox + w, oy + h))
    if outside:
        fail("%d white pixels outside the Shake band" % outside)


def check_keystroke(sc, box):
    ox, oy, w, h = box
    c, m = w // 30, h // 2
    for attempt in range(5):
        shot = sc.shot("keystroke")
        lit = []
        for i in range(7):
            left, right = (4 * i + 2) * c, (4 * i + 4) * c
            red = shot.count(RED, (ox + left, oy + m - c, ox + right, oy + m + c))
            if red:
                lit.append(i + 1)
                inside = shot.pixel(ox + left + 6, oy + m)
                if inside != WHITE:
                    fail("lit circle %d is not white inside: %s" % (i + 1, inside))
        if len(lit) == 1:
            # Every red pixel of the screen belongs to that circle.
            i = lit[0] - 1
            if shot.count(RED, (ox, oy, ox + w, oy + h)) != shot.count(
                    RED, (ox + (4 * i + 2) * c, oy + m - c, ox + (4 * i + 4) * c, oy + m + c)):
                fail("red outside the lit circle")
            plain = shot.pixel(ox + (4 * ((i + 1) % 7) + 2) * c, oy + m)
            if plain != WHITE:
                fail("a plain circle's outline is %s, not white" % (plain,))
            return
        if len(lit) > 1:
            fail("several circles lit: %s" % lit)
        time.sleep(0.2)  # caught the one released packet: look again
    fail("no Keystroke circle lit")


def main():
    vellum, tablet = e2e.programs()
    shots_dir = os.environ.get("VELLUM_E2E_SHOTS")
    if shots_dir:
        os.makedirs(shots_dir, exist_ok=True)
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
        f.write(script())
        script_path = f.name
    try:
        args = ["--model", "7", "--range", str(MAX_X), str(MAX_Y), "--script", script_path]
        with Session(vellum, tablet, emulator_args=args) as s:
            s.start()
            sc = Screens(s, shots_dir)
            sc.expect_title(None)
            sc.key("F5")
            sc.expect_title(None)  # F5 does nothing on the info screen

            sc.key("F1", settle=LOOP_S)
            sc.expect_title("Linear")
            box = check_linear(sc)
            sc.key("F5", settle=LOOP_S)
            sc.expect_title("Pressur")
            check_pressure(sc, box)
            sc.key("F5", settle=LOOP_S)
            sc.expect_title("Shake")
            check_shake(sc, box)
            sc.key("F5", settle=LOOP_S)
            sc.expect_title("Keystroke")
            check_keystroke(sc, box)
            sc.key("F5")
            sc.expect_title("Linear")
            sc.key("F1")
            sc.expect_title(None)
            sc.key("F1")
            sc.expect_title("Linear")  # the walk starts over at Linear

            sc.key("F4")
            status = s.wait_exit(3)
            if status != 0:
                fail("F4 gave exit status %s" % status)
    finally:
        os.unlink(script_path)
    print("ok")


if __name__ == "__main__":
    main()
