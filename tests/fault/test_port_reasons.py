"""Why a port gave no tablet, on real ptys, without a byte the probe would not write; --ports
auto and --list-ports only on a made-up machine (VELLUM_FAKE_SYSTEM), and on this machine
--list-ports only under strace, to see that it opens no device; the reasons in the window."""

import grp
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time

import e2e
from e2e import Session, fail

vellum, tablet = e2e.programs()
tmp = tempfile.mkdtemp(prefix="vellum-fault-reasons-")
NO_TABLET = "Tablet  not  found  or  no  response  at  any  COM  port !"
DIALOGUE = [0x13, 0x7A, 0x7E, 0x61, 0x40, 0x11]
started = []  # every process a test starts, ended when it is over


def check(condition, message):
    if not condition:
        fail(message)


class Emulator:
    def __init__(self, name, *args):
        self.log = os.path.join(tmp, name + ".writes")
        self.proc = subprocess.Popen([tablet, "--log-writes", self.log] + list(args),
                                     stdout=subprocess.PIPE)
        started.append(self.proc)
        self.path = self.proc.stdout.readline().decode().strip()

    def received(self, want=None):
        """The bytes logged so far; with `want`, waits a little for them (the log lags the line)."""
        deadline = time.monotonic() + 3
        while True:
            with open(self.log) as f:
                got = [int(line.split()[1], 16) for line in f if line.strip()]
            if want is None or got == want or time.monotonic() > deadline:
                return got
            time.sleep(0.05)


def run(args, user=None, env=None):
    return subprocess.run([vellum] + args, capture_output=True, text=True, timeout=30, user=user,
                          env=dict(os.environ, **(env or {})))


def probe(*paths, **kw):
    return run(["--probe"] + ["--port=%d=%s" % (n, p) for n, p in enumerate(paths, 1)], **kw)


def missing(n):
    return "/nonexistent/vellum-reasons-tty%d" % n


def test_probe_names_every_reason():
    plain = os.path.join(tmp, "plain-file")
    open(plain, "w").close()
    held, silent = Emulator("held"), Emulator("silent", "--fault", "silent")
    seven = Emulator("seven", "--model", "7")
    code = ("import fcntl, os, sys, time\nfd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)\n"
            "fcntl.flock(fd, fcntl.LOCK_EX)\nprint(flush=True)\ntime.sleep(600)\n")
    holder = subprocess.Popen([sys.executable, "-c", code, held.path], stdout=subprocess.PIPE)
    started.append(holder)
    holder.stdout.readline()
    with open("/proc/%d/comm" % holder.pid) as f:
        name = f.read().strip()
    r = probe(plain, held.path, silent.path, seven.path)
    want = ["COM1 %s: not a serial device" % plain,
            "COM2 %s: held by %s (PID %d)" % (held.path, name, holder.pid),
            "COM3 %s: no answer to the identification request" % silent.path,
            "COM4 %s: 7-byte tablet" % seven.path]
    check(r.returncode == 0 and r.stderr.splitlines() == want, "%r, want %r" % (r.stderr, want))
    # Only the probe's own bytes: none to the held port, the dialogue to the tablet, and to the
    # silent line the dialogue up to the range request.
    got = (held.received(), seven.received(DIALOGUE), silent.received(DIALOGUE[:5]))
    check(got == ([], DIALOGUE, DIALOGUE[:5]), "written: %r %r %r" % got)


def test_permission_denied_names_the_group():
    pty = Emulator("denied")
    if os.geteuid() == 0:  # a port of group dialout, as serial ports are, probed as nobody
        os.chown(pty.path, -1, grp.getgrnam("dialout").gr_gid)
        os.chmod(pty.path, 0o660)
        user = pwd.getpwnam("nobody").pw_name
        want = ("permission denied \u2014 add yourself to the dialout group (sudo usermod -aG "
                "dialout $USER), then log in again")
    else:
        os.chmod(pty.path, 0)  # our own pty, group tty: no group to join
        user, want = None, "permission denied"
    r = probe(pty.path, missing(2), missing(3), missing(4), user=user)
    check(r.returncode == 1 and r.stderr.splitlines()[0] == "COM1 %s: %s" % (pty.path, want)
          and pty.received() == [], "stderr %r, wrote %r" % (r.stderr, pty.received()))


def test_ports_auto_and_list_ports_on_a_made_up_machine():
    d = os.path.join(tmp, "dev")
    os.makedirs(d)
    ports = {"ttyS0": (), "ttyS2": (), "ttyACM0": ("--fault", "silent"),
             "ttyUSB0": ("--model", "5", "--range", "2500", "2250")}
    for name, args in ports.items():
        ports[name] = Emulator(name, *args)
        os.symlink(ports[name].path, os.path.join(d, name))
    machine = os.path.join(tmp, "machine.txt")
    with open(machine, "w") as f:
        f.write("console ttyS0\ndevice {d}/ttyS0 uart=4\ndevice {d}/ttyS1 uart=0\n"
                "device {d}/ttyS2 uart=4 holder=agetty:1\n"
                "device {d}/ttyUSB0 by-id={d}/by-id/usb-B usb=0403:6001 driver=ftdi_sio\n"
                "device {d}/ttyACM0 by-id={d}/by-id/usb-A usb=2341:0043 driver=cdc_acm "
                "access=denied\n".format(d=d))
    env = {"VELLUM_FAKE_SYSTEM": machine}
    r = run(["--list-ports"], env=env)  # the lines themselves: tests/tablet
    check(r.returncode == 0 and len(r.stdout.splitlines()) == 4, "list-ports %r" % r.stdout)
    r = run(["--ports", "auto", "--port", "2=" + missing(2), "--probe"], env=env)
    want = ("vellum: COM1 = {d}/ttyACM0 ({d}/by-id/usb-A), USB modem/ACM\n"
            "vellum: COM2 = {m} (--port)\n"
            "vellum: COM3 = {d}/ttyUSB0 ({d}/by-id/usb-B), USB adapter\n"
            "vellum: COM4: no serial device left\nvellum: not taken: {d}/ttyS0 (system console)\n"
            "vellum: not taken: {d}/ttyS2 (held by agetty (PID 1))\n"
            "COM1 {d}/ttyACM0: no answer to the identification request\n"
            "COM2 {m}: no such device\nCOM3 {d}/ttyUSB0: 5-byte tablet\n"
            "COM4: no serial device assigned\n").format(d=d, m=missing(2))
    check(r.returncode == 0 and r.stdout.startswith("COM3: 5-byte tablet"), "stdout %r" % r.stdout)
    check(r.stderr == want, "stderr\n%s\nwant\n%s" % (r.stderr, want))
    check(ports["ttyS0"].received() == ports["ttyS2"].received() == [], "bytes to console/held")
    # A console named with --port is probed all the same, after one warning line.
    r = run(["--probe", "--port", "1=%s/ttyS0" % d] +
            ["--port=%d=%s" % (n, missing(n)) for n in (2, 3, 4)], env=env)
    warning = "vellum: COM1 ({d}/ttyS0) is a system console; probing it as --port asks\n".format(d=d)
    check(r.returncode == 0 and r.stderr.startswith(warning) and r.stderr.count(warning) == 1,
          "--port naming the console: status %s, stderr %r" % (r.returncode, r.stderr))
    # On a busy machine the probe may ask for the range twice: the dialogue's ends are what count.
    said = ports["ttyS0"].received(DIALOGUE)
    check(said[:5] == DIALOGUE[:5] and said[-1:] == DIALOGUE[-1:],
          "the named console was not probed: %s" % said)
    for args in (["--ports", "ttyUSB0"], ["--list-ports", "--probe"], ["--ports", "auto"]):
        r = run(args, env={"VELLUM_FAKE_SYSTEM": missing(1)})
        check(r.returncode == 2 and r.stderr.count("\n") == 1, "%s: %r" % (args, r.stderr))


def test_list_ports_here_opens_no_device():
    trace = os.path.join(tmp, "trace")
    r = subprocess.run(["strace", "-f", "-e", "trace=open,openat,openat2", "-o", trace, vellum,
                        "--list-ports"], capture_output=True, text=True, timeout=30,
                       env=dict(os.environ, ASAN_OPTIONS="detect_leaks=0"))  # no LSan under ptrace
    check(r.returncode == 0, "strace or vellum failed: %r" % r.stderr)
    with open(trace) as f:
        opened = [l for l in f if '"/dev/' in l and '"/dev/serial/by-id/"' not in l]
    check(opened == [], "--list-ports opened devices:\n" + "".join(opened))


def test_no_tablet_box_has_the_reasons():
    with Session(vellum, tablet, emulator_args=None) as s:
        s.start(wait_for_window=False)
        box = s._until(lambda: s.run(["xdotool", "search", "--onlyvisible", "--pid",
                                      str(s.vellum.pid)]).stdout.split(), 10, "the box")[-1]
        lines = s.vellum_output()[1].splitlines()
        want = [NO_TABLET] + ["COM%d /nonexistent/vellum-e2e-tty%d: no such device" % (n, n)
                              for n in range(1, 5)]
        check(lines == want, "stderr %r" % lines)
        # The same lines are the box's details: Show Details, next to OK, opens them.
        s.run(["xdotool", "windowactivate", "--sync", box])
        height = s.geometry(box)[3]
        s.key("Tab")
        s.key("space")
        s._until(lambda: s.geometry(box)[3] > height + 50, 5, "the details to open")
        s.key("Escape")
        check(s.wait_exit(3.0) == 0, "exit status after closing the box")


if __name__ == "__main__":
    try:
        globals()[sys.argv[3]]()
    finally:
        for p in started:
            p.kill()
            p.wait()
        shutil.rmtree(tmp, ignore_errors=True)
