"""What Vellum lowers on a line while it holds it is back when it lets go, however it ends: the
normal end, the tablet lost, a stop signal; for the window, --monitor and --probe.

A pty has no receive trigger, so each test makes up a sysfs (VELLUM_FAKE_SYSFS) in which the
emulator's pty is a UART, ttyS1, whose rx_trig_bytes starts at 8, or a USB adapter whose latency
timer reads 16 ms. The same code reads and writes the real /sys (tests/vm shows it there)."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import e2e
from e2e import Session, fail

vellum, tablet = e2e.programs()


def check(condition, message):
    if not condition:
        fail(message)


class FakeSysfs:
    """A sysfs root in which the device `path` has a folder of its own under `name`."""

    def __init__(self, path, name):
        self.root = tempfile.mkdtemp(prefix="vellum-sysfs-")
        os.chmod(self.root, 0o755)
        rdev = os.stat(path).st_rdev
        self.dir = os.path.join(self.root, "devices", name)
        os.makedirs(self.dir)
        os.makedirs(os.path.join(self.root, "dev", "char"))
        os.symlink("../../devices/" + name, os.path.join(
            self.root, "dev", "char", "%d:%d" % (os.major(rdev), os.minor(rdev))))

    def uart(self, trigger="8"):
        self.write("rx_trig_bytes", trigger + "\n")
        return self

    def adapter(self, timer="16"):
        os.makedirs(os.path.join(self.dir, "device"))
        os.symlink("../../../bus/usb-serial", os.path.join(self.dir, "device", "subsystem"))
        self.write("device/latency_timer", timer + "\n")
        return self

    def write(self, leaf, text):
        with open(os.path.join(self.dir, leaf), "w") as f:
            f.write(text)

    def trigger(self):
        with open(os.path.join(self.dir, "rx_trig_bytes")) as f:
            return f.read().strip()

    def wait_trigger(self, value, what, timeout=10):
        deadline = time.monotonic() + timeout
        while self.trigger() != value:
            if time.monotonic() > deadline:
                fail("%s: rx_trig_bytes reads %s, not %s" % (what, self.trigger(), value))
            time.sleep(0.02)

    def env(self):
        return dict(os.environ, VELLUM_FAKE_SYSFS=self.root)

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


def ports(path):
    args = ["--port", "1=%s" % path]
    for n in range(2, 5):
        args += ["--port", "%d=/nonexistent/vellum-latency-tty%d" % (n, n)]
    return args


class Emulated:
    """vellum-tablet on a pty of its own, with a made-up sysfs for that pty."""

    def __init__(self, *args):
        self.proc = subprocess.Popen([tablet] + list(args), stdout=subprocess.PIPE)
        self.path = self.proc.stdout.readline().decode().strip()
        check(self.path.startswith("/dev/"), "vellum-tablet named no pty: %r" % self.path)
        self.sysfs = FakeSysfs(self.path, "ttyS1")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
        self.sysfs.remove()
        return False


def start(args, sysfs, **kw):
    return subprocess.Popen([vellum] + args, env=sysfs.env(), stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, **kw)


def finish(proc, what):
    try:
        _, err = proc.communicate(timeout=15)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.communicate()
        fail("%s: vellum did not end" % what)
    return proc.returncode, err


def test_monitor():
    # (how it ends, emulator arguments, what the monitor is sent, the status it ends with)
    # (the lost tablet's status is the monitor's own business, not this test's)
    ends = [("Ctrl+C", [], signal.SIGINT, 0),
            ("SIGTERM", [], signal.SIGTERM, 0),
            ("SIGHUP", [], signal.SIGHUP, -signal.SIGHUP),
            ("lost tablet", ["--hang-up-after", "250"], None, None)]
    for what, extra, send, status in ends:
        with Emulated("--model", "7", *extra) as emu:
            emu.sysfs.uart()
            proc = start(["--monitor"] + ports(emu.path), emu.sysfs)
            emu.sysfs.wait_trigger("1", what + ", while the monitor runs")
            if send is not None:
                os.kill(proc.pid, send)
            code, err = finish(proc, what)
            check(status is None or code == status,
                  "monitor, %s: status %s, stderr %r" % (what, code, err))
            check(emu.sysfs.trigger() == "8", "monitor, %s: rx_trig_bytes left at %s"
                  % (what, emu.sysfs.trigger()))
            check("trigger" not in err, "monitor, %s: said %r" % (what, err))


def test_probe():
    with Emulated("--model", "7") as emu:
        emu.sysfs.uart("14")
        r = subprocess.run([vellum, "--probe"] + ports(emu.path), env=emu.sysfs.env(),
                           capture_output=True, text=True, timeout=20)
        check(r.returncode == 0 and r.stdout.startswith("COM1: 7-byte tablet"),
              "probe: %s %r %r" % (r.returncode, r.stdout, r.stderr))
        check(emu.sysfs.trigger() == "14", "probe: rx_trig_bytes left at %s" % emu.sysfs.trigger())
    # A device that never gives a valid range keeps the probe on the port for two seconds.
    for sig in (signal.SIGTERM, signal.SIGINT):
        with Emulated("--fault", "bad-range") as emu:
            emu.sysfs.uart()
            proc = start(["--probe"] + ports(emu.path), emu.sysfs)
            emu.sysfs.wait_trigger("1", "probe of a device without a range")
            os.kill(proc.pid, sig)
            code, err = finish(proc, "probe")
            check(code == -sig, "probe, signal %d: status %s, stderr %r" % (sig, code, err))
            check(emu.sysfs.trigger() == "8", "probe, signal %d: rx_trig_bytes left at %s"
                  % (sig, emu.sysfs.trigger()))


def test_window():
    for what in ("F4", "SIGTERM", "lost tablet", "closed"):
        with Session(vellum, tablet, emulator_args=["--model", "7"]) as s:
            s.start_x()
            s.start_emulator()
            sysfs = FakeSysfs(s.pty, "ttyS1").uart()
            s.extra_env["VELLUM_FAKE_SYSFS"] = sysfs.root
            try:
                s.start_vellum()
                s.wait_window()
                sysfs.wait_trigger("1", "window, " + what)
                if what == "F4":
                    s.key("F4")
                    check(s.wait_exit(5) == 0, "window, F4: vellum did not end")
                elif what == "SIGTERM":
                    s.vellum.send_signal(signal.SIGTERM)
                    code = s.wait_exit(5)
                    check(code == -signal.SIGTERM, "window, SIGTERM: status %s" % code)
                elif what == "closed":
                    s.key("alt+F4")  # the window manager's close
                    check(s.wait_exit(5) == 0, "window, closed: vellum did not end")
                else:
                    s.kill_emulator()
                    # Back at once; the window stays until the user ends it.
                    sysfs.wait_trigger("8", "window, lost tablet")
                    check(s.vellum.poll() is None, "window, lost tablet: the window went away")
                    s.key("F4")
                    check(s.wait_exit(5) == 0, "window, lost tablet: F4 did not end it")
                check(sysfs.trigger() == "8", "window, %s: rx_trig_bytes left at %s"
                      % (what, sysfs.trigger()))
            finally:
                sysfs.remove()


def test_said_once():
    # An adapter whose latency timer stays at 16 ms while held (a pty takes no low-latency
    # flag): said once, naming the port.
    with Emulated("--model", "7") as emu:
        emu.sysfs.adapter("16")
        proc = start(["--monitor"] + ports(emu.path), emu.sysfs)
        time.sleep(1.0)
        os.kill(proc.pid, signal.SIGINT)
        code, err = finish(proc, "adapter")
        lines = [l for l in err.splitlines() if "latency timer" in l]
        check(code == 0 and len(lines) == 1, "adapter: status %s, stderr %r" % (code, err))
        check(lines[0].startswith("vellum: COM1 (%s): the adapter's latency timer reads 16 ms"
                                  % emu.path), "adapter: %r" % lines[0])
    # A user who may not write the trigger is told what it costs and how to let Vellum lower it;
    # the trigger stays as it was.
    with Emulated("--model", "7") as emu:
        emu.sysfs.uart()
        os.chmod(emu.path, 0o666)
        proc = start(["--monitor"] + ports(emu.path), emu.sysfs,
                     preexec_fn=lambda: (os.setgroups([]), os.setgid(65534), os.setuid(65534)))
        time.sleep(1.0)
        check(emu.sysfs.trigger() == "8", "not permitted: rx_trig_bytes changed")
        os.kill(proc.pid, signal.SIGINT)
        code, err = finish(proc, "not permitted")
        lines = [l for l in err.splitlines() if "trigger" in l or "udevadm" in l]
        check(code == 0 and len(lines) == 2, "not permitted: status %s, stderr %r" % (code, err))
        check("passes on received bytes 8 at a time, so a packet may reach Vellum 8.0 ms late"
              in lines[0], "not permitted: %r" % lines[0])
        check(lines[1].startswith("vellum: To let it") and "udevadm trigger -s tty" in lines[1]
              and "60-vellum-uart-trigger.rules" in lines[1], "not permitted: %r" % lines[1])


if __name__ == "__main__":
    e2e.run_tests(globals(), sys.argv[3:])
