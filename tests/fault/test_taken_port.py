"""The port where the tablet was found is taken by another program before the final open: the
program says why, in a message box and on stderr, and ends with status 1 (it used to end
silently with status 0)."""

import os
import tty

import e2e
from device import Device
from e2e import Session, fail

vellum, tablet = e2e.programs()
INFO_TITLE = ("Serial  tablet  test  program  ( Version : 1.1 )  >>>>  "
              "F1 : Mode , F3 : Clear , F4 : Exit")


def check(condition, message):
    if not condition:
        fail(message)


def test_port_taken_before_the_final_open():
    # COM2 is a silent line: its probe's two 50 ms waits give the holder time to take COM1.
    silent_master, silent_slave = os.openpty()
    tty.setraw(silent_slave)
    try:
        with Device(model=7, take_after_probe=True) as dev, \
                Session(vellum, tablet, emulator_args=None) as s:
            s.start_x()
            s.pty = dev.path  # the session's COM1
            s.start_vellum(["--port", "2=%s" % os.ttyname(silent_slave)])
            box = s.wait_window()
            check(dev.taken(), "the holder never took the port")
            check(s.title(box) == "Vellum", "box caption %r" % s.title(box))
            _, err = s.vellum_output()
            said = "vellum: The tablet on COM1 (%s) could not be opened: flock: " % dev.path
            check(said in err, "stderr %r" % err)
            titles = [s.title(w) for w in
                      s.run(["xdotool", "search", "--name", "Serial"]).stdout.split()]
            check(INFO_TITLE not in titles, "the frame was shown")
            s.run(["xdotool", "windowactivate", "--sync", box])
            s.key("Return")
            check(s.wait_exit(3.0) == 1, "exit status after OK: %s" % s.vellum.poll())
    finally:
        os.close(silent_master)
        os.close(silent_slave)


if __name__ == "__main__":
    e2e.run_tests(globals())
