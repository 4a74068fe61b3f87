"""The window's icon under Xvfb + openbox: the frame carries the program's own drawing, the
tablet's case and the pen's barrel in their colours, at the sizes the window manager asks."""

import time

import e2e
from e2e import Session, fail

CASE = 0xFF37424D    # ARGB of the tablet's case in res/vellum.svg
BARREL = 0xFF1F6FBF  # and of the pen's barrel

vellum, tablet = e2e.programs()


def check(condition, message):
    if not condition:
        fail(message)


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
    with Session(vellum, tablet, emulator_args=["--model", "7", "--range", "5000", "3750"]) as s:
        s.start()
        time.sleep(0.5)
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
    for name, test in list(globals().items()):
        if name.startswith("test_") and callable(test):
            t0 = time.monotonic()
            test()
            print("ok %s (%.1f s)" % (name, time.monotonic() - t0))
