"""Transducer pictures and the selector end to end: the selector worked with the mouse (xdotool)
and with pen packets on a 5-byte tablet, F1 hiding it, and the 7-byte stylus showing each button
code. Screenshots of the three 5-byte pictures and of the stylus per code are taken on the way.

Set VELLUM_E2E_SHOTS to a directory to keep the screenshots.
"""

import os
import tempfile
import time

import e2e
from e2e import Session, fail, mul_div

MAX_X, MAX_Y = 5000, 3750
BLACK, WHITE = (0, 0, 0), (255, 255, 255)
GREY, DARK_GREY, CYAN = (192, 192, 192), (96, 96, 96), (0, 255, 255)
# A design point that only one 5-byte picture blackens (screen 1024 x 768: scale 1).
MARKS = {2: (15, 20), 3: (15, -14), 4: (25, 50)}
NAMES = {2: "2button", 3: "3button", 4: "4button"}


def wait_for(s, predicate, what, timeout=8.0):
    end = time.time() + timeout
    while time.time() < end:
        shot = s.screenshot()
        if predicate(shot):
            return shot
        time.sleep(0.1)
    fail("timed out waiting for " + what)


class View:
    """The view's place on the screen: origin of its client area, width and height (found from
    the cyan separator along y = H - 48)."""

    def __init__(self, s, shot):
        self.win = s.wait_window()
        self.ox, self.oy, self.w, _ = s.geometry(self.win)
        rows = [y for y in shot.find_rows(CYAN, self.ox + 10) if y > self.oy]
        if not rows:
            fail("no separator line on the info screen")
        self.h = min(rows) + 2 + 48 - self.oy  # the 4-pixel line is centred on H - 48

    def at(self, x, y):  # client -> screen
        return self.ox + x, self.oy + y

    def design(self, anchor, dx, dy):
        return self.at(anchor[0] + dx, anchor[1] + dy)


def shown_picture(view, shot):
    anchor = (view.w - 100, 155)
    shown = [t for t, (dx, dy) in MARKS.items()
             if shot.pixel(*view.design(anchor, dx, dy)) == BLACK]
    return shown[0] if len(shown) == 1 else None


def save(s, shots, name):
    if shots:
        s.screenshot(os.path.join(shots, name + ".png"))


def highlight_rows(view, shot):
    """Rows of the open list's highlighted item in a column inside the list."""
    x = view.ox + view.w - 80
    rows = []
    for y in range(view.oy + 100, view.oy + 260):
        r, g, b = shot.pixel(x, y)
        if b - r > 60 and b >= g:  # the style's highlight is bluish; the pictures are greys
            rows.append(y)
    return rows


def mouse_session(vellum, tablet, shots):
    """Returns the geometry it found: the pen session reuses it."""
    with Session(vellum, tablet, emulator_args=["--model", "5", "--range", str(MAX_X),
                                                str(MAX_Y), "--script", os.devnull]) as s:
        s.start()
        first = wait_for(s, lambda shot: shot.find_rows(CYAN, 10), "the info screen")
        view = View(s, first)
        shot = wait_for(s, lambda shot: shown_picture(view, shot) == 4, "the cursor picture")
        save(s, shots, "picture-5-4button-start")

        # Open the list to measure its rows: the current item (row 2) is highlighted.
        s.run(["xdotool", "mousemove", *map(str, view.at(view.w - 80, 115)), "click", "1"])
        shot = wait_for(s, lambda shot: highlight_rows(view, shot), "the open list")
        rows = highlight_rows(view, shot)
        item_height = rows[-1] - rows[0] + 1
        row2 = (rows[0] + rows[-1]) // 2 - view.oy
        row_centres = {k: row2 - (2 - k) * item_height for k in range(3)}
        print("view %dx%d at (%d, %d); list rows at %r, %d high" % (
            view.w, view.h, view.ox, view.oy, row_centres, item_height))
        s.key("Escape")
        time.sleep(0.3)

        for index in (0, 1, 2):
            transducer = index + 2
            s.run(["xdotool", "mousemove", *map(str, view.at(view.w - 80, 115)), "click", "1"])
            wait_for(s, lambda shot: highlight_rows(view, shot), "the open list")
            s.run(["xdotool", "mousemove", *map(str, view.at(view.w - 80, row_centres[index])),
                   "click", "1"])
            wait_for(s, lambda shot: shown_picture(view, shot) == transducer,
                     "picture %d after a mouse choice" % transducer)
            save(s, shots, "picture-5-%s" % NAMES[transducer])

        # F1: the selector goes with the info screen and comes back with it; the keys reach the
        # view after the choices, so the focus came back.
        box = view.at(view.w - 80, 115)
        s.key("F1")
        wait_for(s, lambda shot: shot.pixel(*box) == BLACK, "the selector hidden on Linear")
        s.key("F1")
        wait_for(s, lambda shot: shot.pixel(*box) not in (BLACK, WHITE) and
                 shown_picture(view, shot) == 4, "the selector and picture back")
        s.key("F4")
        status = s.wait_exit(5.0)
        if status != 0:
            fail("F4 after mouse choices: exit status %r" % status)
        return view, row_centres, item_height


def pen_script(view, row_centres):
    def tablet(cx, cy):
        return (mul_div(cx, MAX_X, view.w), MAX_Y - mul_div(cy, MAX_Y, view.h))
    button = tablet(view.w - 27, 117)
    away = tablet(view.w // 2, view.h // 2)
    lines = ["rest 0 %d %d 0 40" % away]
    for index in (0, 1, 2):
        item = tablet(view.w - 100, row_centres[index])
        # Pauses lead each round (one at the end would hold the first packet back) and stay
        # under a second, the longest pause the emulator keeps.
        lines += ["gap 900"] if index else []
        lines += [
            "rest 0 %d %d 0 30" % button,  # hover over the drop-down button
            "rest 1 %d %d 0 60" % button,  # held: opens once
            "rest 0 %d %d 0 20" % button,  # lift
            "rest 0 %d %d 0 60" % item,    # over the row: the list follows the pointer
            "rest 1 %d %d 0 10" % item,    # press: the choice
            "rest 0 %d %d 0 20" % away,
        ]
    return "\n".join(lines) + "\n"


def pen_session(vellum, tablet, shots, view, row_centres):
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
        f.write(pen_script(view, row_centres))
        script = f.name
    try:
        with Session(vellum, tablet, emulator_args=["--model", "5", "--range", str(MAX_X),
                                                    str(MAX_Y), "--script", script,
                                                    "--once"]) as s:
            s.start()
            first = wait_for(s, lambda shot: shot.find_rows(CYAN, 10), "the info screen")
            again = View(s, first)
            if (again.w, again.h) != (view.w, view.h):
                fail("the view's size changed between sessions: %r" % ((again.w, again.h),))
            for transducer in (2, 3, 4):
                wait_for(s, lambda shot: shown_picture(view, shot) == transducer,
                         "picture %d after a pen choice" % transducer, timeout=10)
                save(s, shots, "pen-5-%s" % NAMES[transducer])
            s.key("F4")
            status = s.wait_exit(5.0)
            if status != 0:
                fail("F4 after pen choices: exit status %r" % status)
    finally:
        os.unlink(script)


def stylus_state(view, shot):
    """(tip pressed, lower half pressed, upper half pressed) of the 7-byte stylus, or None."""
    anchor = (view.w - 72, view.h // 4)
    tip = shot.pixel(*view.design(anchor, 0, 352))
    lower = shot.pixel(*view.design(anchor, 0, 250))
    upper = shot.pixel(*view.design(anchor, 0, 212))
    if tip not in (GREY, DARK_GREY) or lower not in (GREY, DARK_GREY) or \
            upper not in (GREY, DARK_GREY):
        return None
    return tip == DARK_GREY, lower == DARK_GREY, upper == DARK_GREY


def stylus_session(vellum, tablet, shots):
    pen = (1000, 1000)  # in the trace area, far from the picture
    lines = ["rest 0 %d %d 0 20 0" % pen]
    for code in (1, 2, 3, 4, 5, 0):
        lines += ["gap 900", "rest %d %d %d 0 10 200" % ((code,) + pen)]
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
        f.write("\n".join(lines) + "\n")
        script = f.name
    try:
        with Session(vellum, tablet, emulator_args=["--model", "7", "--range", str(MAX_X),
                                                    str(MAX_Y), "--script", script,
                                                    "--once"]) as s:
            s.start()
            first = wait_for(s, lambda shot: shot.find_rows(CYAN, 10), "the info screen")
            view = View(s, first)
            for code in (1, 2, 3, 4, 5, 0):
                expected = (bool(code & 1), bool(code & 2), bool(code & 4))
                wait_for(s, lambda shot: stylus_state(view, shot) == expected,
                         "the stylus showing code %d" % code, timeout=6)
                save(s, shots, "stylus-7-code%d" % code)
            s.key("F4")
            if s.wait_exit(5.0) != 0:
                fail("F4 on the 7-byte tablet")
    finally:
        os.unlink(script)


def main():
    vellum, tablet = e2e.programs()
    shots = os.environ.get("VELLUM_E2E_SHOTS")
    if shots:
        os.makedirs(shots, exist_ok=True)
    view, row_centres, _ = mouse_session(vellum, tablet, shots)
    pen_session(vellum, tablet, shots, view, row_centres)
    stylus_session(vellum, tablet, shots)
    print("ok")


if __name__ == "__main__":
    main()
