"""The window on a real Wayland compositor: weston on the guest's DRM device, vellum on Qt's
Wayland platform with the uinput pointer. The pen hovers, still, at the middle of its range and
then near the top left: the window fits the screen and weston's cursor is where vellum shows
the pen."""

import os
import signal

import vm
from desktop import Weston
from e2e import mul_div
from vm import check, fail, ports

vellum, tablet = vm.programs()
SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "two-hovers.script")
MAX_X, MAX_Y = 5000, 3750
HOVERS = [(2500, 1875), (1000, 3000)]
SCREEN = (1280, 800)
CYAN, WHITE = (0, 255, 255), (255, 255, 255)
SEPARATOR_RIGHT, SEPARATOR_BOTTOM = 148, 48  # the info screen's separators, from R and B


def runs(values):
    """[(start, length)] of the runs of consecutive numbers in a sorted list."""
    out = []
    for v in values:
        if out and v == out[-1][0] + out[-1][1]:
            out[-1] = (out[-1][0], out[-1][1] + 1)
        else:
            out.append((v, 1))
    return out


def client_area(shot):
    """(ox, oy, R, B): the view's origin on the screen and its size, from the info screen's
    separators, 4 pixels wide: the bottom one runs from the view's left edge along y = B - 48,
    the right one from the view's top along x = R - 148. None when they are not on the screen."""
    rows = [y for y in range(shot.height)
            if any(n > shot.width // 3 for _, n in runs(shot.find_columns(CYAN, y)))]
    if not rows:
        return None
    top, count = runs(rows)[0]
    ox = runs(shot.find_columns(CYAN, top))[0][0]
    above = runs(shot.find_columns(CYAN, top - 10))
    if not above:
        return None
    start, width = above[0]
    x = (2 * start + width) // 2
    column = runs([y for y in shot.find_rows(CYAN, x) if y < top])
    if not column:
        return None
    oy = column[-1][0]
    return ox, oy, x - ox + SEPARATOR_RIGHT, (2 * top + count) // 2 + SEPARATOR_BOTTOM - oy


def cursor_tip(shot, area):
    """The top-most, then left-most pixel in the trace area that is neither white nor cyan:
    the tip of weston's arrow, where its hot spot is; None when nothing is drawn there."""
    ox, oy, r, b = area
    for y in range(oy + 2, oy + b - SEPARATOR_BOTTOM - 3):
        for x in range(ox + 2, ox + r - SEPARATOR_RIGHT - 3):
            if shot.pixel(x, y) not in (WHITE, CYAN):
                return x, y
    return None


def test_window_fits_and_the_cursor_is_on_the_pen(guest):
    """The cursor's image has its hot spot a few pixels inside its top-left corner, by how the
    theme draws it: where it is at each hover is checked to within 4 pixels, and how far it
    moved between them exactly."""
    weston = Weston(guest, SCREEN).start()
    args = [vellum] + ports(com1="/dev/ttyS1")
    app = guest.spawn(args, "vellum", env=weston.env())
    area = want = None
    tips = {}  # at each hover, the cursor's tip
    for attempt in range(30):
        shot = weston.screenshot("shot-%d" % attempt)
        area = client_area(shot)
        if area:
            ox, oy, r, b = area
            want = [(ox + mul_div(x, r, MAX_X), oy + mul_div(MAX_Y - y, b, MAX_Y))
                    for x, y in HOVERS]
            tip = cursor_tip(shot, area)
            if tip is None and attempt >= 4 and not tips:
                break  # the window has been up for a while: no cursor will come
            for place in want:
                if tip and abs(tip[0] - place[0]) <= 8 and abs(tip[1] - place[1]) <= 8:
                    tips[place] = tip
            if len(tips) == len(want):
                break
        if vm.missed_the_tablet(app.output()[1]):
            print("vellum missed the tablet; again")
            app.signal(signal.SIGKILL)
            app.wait(10)
            app = guest.spawn(args, "vellum", env=weston.env())
        check(app.wait(1) is None, "vellum ended: %s %r" % (app.status, app.output()))
    check(area, "no info screen on weston's output; vellum: %r" % (app.output(),))
    ox, oy, r, b = area
    # The view and the status bar below it (a line of text at least) are on the screen.
    check(ox >= 0 and oy >= 0 and ox + r <= SCREEN[0], "the view at %s" % (area,))
    check(oy + b + 16 <= SCREEN[1], "the window reaches below the screen: the view %s, the "
          "screen %s" % (area, SCREEN))
    if not tips:
        fail("weston drew no cursor near the pen at %s (the view at %s)" % (want, area))
    check(len(tips) == len(want), "weston's cursor at %s only, the pen at %s (the view at %s)"
          % (sorted(tips.values()), want, area))
    for place in want:
        tip = tips[place]
        check(abs(tip[0] - place[0]) <= 4 and abs(tip[1] - place[1]) <= 4,
              "weston's cursor at %s, the pen at %s" % (tip, place))
    moved = (tips[want[1]][0] - tips[want[0]][0], tips[want[1]][1] - tips[want[0]][1])
    check(moved == (want[1][0] - want[0][0], want[1][1] - want[0][1]),
          "the cursor moved by %s, the pen by %s" % (moved, (want[1][0] - want[0][0],
                                                                 want[1][1] - want[0][1])))
    print("the view at %s on the %s screen; weston's cursor tip at %s for the pen at %s"
          % (area, SCREEN, [tips[p] for p in want], want))


if __name__ == "__main__":
    vm.run_tests(globals(), display=True,
                 uart=["--model", "5", "--range", str(MAX_X), str(MAX_Y), "--script", SCRIPT])
