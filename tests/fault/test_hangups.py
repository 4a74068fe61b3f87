"""The line drops in the middle of the identification block, of the range reply and of a data
packet: detection gives up on that port at once, the monitor ends with every whole packet, and
the window says so, stays and answers its keys."""

import subprocess
import sys
import time

import e2e
from device import Device
from e2e import Session, fail

vellum, tablet = e2e.programs()
TIMEOUT = 20


def check(condition, message):
    if not condition:
        fail(message)


def ports(path):
    args = ["--port", "1=%s" % path]
    for n in range(2, 5):
        args += ["--port", "%d=/nonexistent/vellum-fault-tty%d" % (n, n)]
    return args


def run(args):
    t0 = time.monotonic()
    r = subprocess.run([vellum] + args, capture_output=True, text=True, timeout=TIMEOUT)
    return r, time.monotonic() - t0


def test_detection_hang_ups():
    # (where, bytes sent before the drop): nothing, some, all but the last byte.
    cases = [("identify", 0), ("identify", 10), ("identify", 27),
             ("range", 0), ("range", 3), ("range", 6)]
    for where, count in cases:
        for command in (["--probe"], ["--monitor"]):
            with Device(model=7, hang_up=(where, count)) as dev:
                r, elapsed = run(command + ports(dev.path))
                name = "%s after %d bytes of the %s" % (command[0], count, where)
                check(dev.hung_up(), "%s: the device never dropped the line" % name)
                check(r.returncode == 1, "%s: status %s, stderr %r" % (name, r.returncode, r.stderr))
                check("Tablet  not  found" in r.stdout + r.stderr,
                      "%s: no no-tablet message: %r %r" % (name, r.stdout, r.stderr))
                # The probe waits 50 ms a request; a dead line must not cost its time bounds.
                check(elapsed < 2.0, "%s took %.2f s" % (name, elapsed))


def test_hang_up_mid_packet_ends_the_monitor():
    for model in (7, 5):
        with Device(model=model, hang_up=("packet", 100)) as dev:
            r, _ = run(["--monitor"] + ports(dev.path))
            check(dev.hung_up(), "the device never dropped the line")
            # The tablet is lost: said with its port and reason, and status 1.
            check(r.returncode == 1, "monitor status %s: %r" % (r.returncode, r.stderr))
            said = "Tablet on COM1 (%s) lost: unplugged (read: hang-up)\n" % dev.path
            check(said in r.stderr, "%d-byte: stderr %r" % (model, r.stderr))
            lines = [l for l in r.stdout.splitlines() if l.strip()]
            # Every whole packet before the drop, none from the three bytes after them.
            check(len(lines) == 100, "%d-byte: %d packets printed, want 100" % (model, len(lines)))


def test_hang_up_mid_packet_leaves_the_window():
    for model in (7, 5):
        with Device(model=model, hang_up=("packet", 60)) as dev, \
                Session(vellum, tablet, emulator_args=None) as s:
            s.start_x()
            s.pty = dev.path  # the session's COM1 is this device
            s.start_vellum()
            s.wait_window()
            check(dev.wait_hung_up(10), "the device never dropped the line")
            time.sleep(0.3)
            check(s.vellum.poll() is None, "vellum ended after the hang-up")
            # Told once, naming the port and the reason (the status pane says it too).
            _, err = s.vellum_output()
            said = "vellum: tablet on COM1 (%s) lost: unplugged (read: hang-up)\n" % dev.path
            check(err.count(said) == 1, "%d-byte: stderr %r" % (model, err))
            s.key("F1")
            deadline = time.monotonic() + 5
            while "Event:Linear" not in s.title(s.window) and time.monotonic() < deadline:
                time.sleep(0.05)
            check("Event:Linear" in s.title(s.window),
                  "F1 after the hang-up: title %r" % s.title(s.window))
            s.key("F4")
            check(s.wait_exit(3.0) == 0, "F4 after the hang-up")


if __name__ == "__main__":
    e2e.run_tests(globals(), sys.argv[3:])
