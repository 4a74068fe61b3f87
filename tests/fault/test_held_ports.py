"""Ports that another program holds are skipped without a byte written to them: one held with
flock, and one held with TIOCEXCL (which only binds users other than root, so that part runs the
probe as nobody). With no other tablet the no-tablet message is the occupied-port one."""

import fcntl
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import termios
import time

import e2e
from e2e import fail

vellum, tablet = e2e.programs()
OCCUPIED = "The COM port has been occupied by the tablet driver,"
tmp = tempfile.mkdtemp(prefix="vellum-fault-held-")


def check(condition, message):
    if not condition:
        fail(message)


class Emulator:
    """vellum-tablet with a write log, so that a test can see whether the host wrote anything."""

    def __init__(self, name, *args, user=None):
        self.log = os.path.join(tmp, name + ".writes")
        self.proc = subprocess.Popen([tablet, "--log-writes", self.log] + list(args),
                                     stdout=subprocess.PIPE, user=user)
        self.path = self.proc.stdout.readline().decode().strip()
        check(self.path.startswith("/"), "vellum-tablet named no pty: %r" % self.path)

    def writes(self):
        with open(self.log) as f:
            return f.read()

    def stop(self):
        self.proc.terminate()
        self.proc.wait(5)


def holder(path, how):
    """Another program holding `path` until killed; returns once it holds it."""
    code = ("import fcntl, os, sys, termios, time\n"
            "fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)\n"
            "if sys.argv[2] == 'flock': fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)\n"
            "else: fcntl.ioctl(fd, termios.TIOCEXCL)\n"
            "print('held', flush=True)\n"
            "time.sleep(600)\n")
    p = subprocess.Popen([sys.executable, "-c", code, path, how], stdout=subprocess.PIPE)
    check(p.stdout.readline().strip() == b"held", "the holder could not take %s" % path)
    return p


def probe(paths, user=None):
    args = [vellum, "--probe"]
    for n, path in enumerate(paths, 1):
        args += ["--port", "%d=%s" % (n, path)]
    return subprocess.run(args, capture_output=True, text=True, timeout=30, user=user)


def missing(n):
    return "/nonexistent/vellum-fault-tty%d" % n


def test_flock_held_port_is_skipped():
    held, free = Emulator("held"), Emulator("free", "--model", "5", "--range", "2500", "2250")
    h = holder(held.path, "flock")
    try:
        r = probe([held.path, free.path, missing(3), missing(4)])
        check(r.returncode == 0, "status %s: %r %r" % (r.returncode, r.stdout, r.stderr))
        check(r.stdout.startswith("COM2: 5-byte tablet, range 2500 x 2250"), "stdout %r" % r.stdout)
        check("COM1" not in r.stdout, "the held port was reported: %r" % r.stdout)
        check(held.writes() == "", "bytes written to the held port:\n" + held.writes())
        # Alone, the held port makes the no-tablet message the occupied-port one.
        r = probe([held.path, missing(2), missing(3), missing(4)])
        check(r.returncode == 1 and r.stdout.startswith(OCCUPIED), "alone: %r" % r.stdout)
        check(held.writes() == "", "bytes written to the held port:\n" + held.writes())
    finally:
        h.kill()
        h.wait()
        held.stop()
        free.stop()


def test_exclusive_port_is_skipped_for_other_users():
    if os.geteuid() != 0:
        user = None  # already not root: TIOCEXCL binds us
    else:
        try:
            user = pwd.getpwnam("nobody").pw_name
        except KeyError:
            print("SKIP exclusive port: no user 'nobody' to run the probe as")
            return
        probe_self = subprocess.run(["setpriv", "--reuid=nobody", "true"], capture_output=True)
        if probe_self.returncode != 0:
            print("SKIP exclusive port: this machine does not let root act as nobody")
            return
        os.chmod(tmp, 0o777)
    # The tablets and the probe as that user (the ptys are then theirs to open); the holder may
    # be anyone.
    held = Emulator("excl", user=user)
    free = Emulator("free2", "--model", "7", "--range", "9000", "6000", user=user)
    h = holder(held.path, "excl")
    try:
        r = probe([held.path, missing(2), free.path, missing(4)], user=user)
        check(r.returncode == 0, "status %s: %r %r" % (r.returncode, r.stdout, r.stderr))
        check(r.stdout.startswith("COM3: 7-byte tablet, range 9000 x 6000"), "stdout %r" % r.stdout)
        check(held.writes() == "", "bytes written to the exclusive port:\n" + held.writes())
        r = probe([held.path, missing(2), missing(3), missing(4)], user=user)
        check(r.returncode == 1 and r.stdout.startswith(OCCUPIED), "alone: %r" % r.stdout)
    finally:
        h.kill()
        h.wait()
        held.stop()
        free.stop()


if __name__ == "__main__":
    try:
        e2e.run_tests(globals())
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
