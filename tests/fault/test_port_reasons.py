"""Why a port gave no tablet, on real ptys: `--probe` names the reason for every port (a missing
path, a plain file, a port another process holds, one this user may not open, a silent line, a
tablet), without writing a byte the probe would not write. `--ports auto` and `--list-ports` run
only on a made-up machine (VELLUM_FAKE_SYSTEM), never on this one's serial ports; `--list-ports`
on this machine is only traced, to see that it opens no device."""

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
OCCUPIED = "The COM port has been occupied by the tablet driver,"
NO_TABLET = "Tablet  not  found  or  no  response  at  any  COM  port !"
DIALOGUE = [0x13, 0x7A, 0x7E, 0x61, 0x40, 0x11]
DIALOUT = ("permission denied \u2014 add yourself to the dialout group "
           "(sudo usermod -aG dialout $USER), then log in again")


def check(condition, message):
    if not condition:
        fail(message)


class Emulator:
    """vellum-tablet logging what it receives."""

    def __init__(self, name, *args, user=None):
        self.log = os.path.join(tmp, name + ".writes")
        self.proc = subprocess.Popen([tablet, "--log-writes", self.log] + list(args),
                                     stdout=subprocess.PIPE, user=user)
        self.path = self.proc.stdout.readline().decode().strip()
        check(self.path.startswith("/"), "vellum-tablet named no pty: %r" % self.path)

    def received(self):
        with open(self.log) as f:
            return [int(line.split()[1], 16) for line in f if line.strip()]

    def stop(self):
        self.proc.terminate()
        self.proc.wait(5)


def run(args, user=None, env=None):
    return subprocess.run([vellum] + args, capture_output=True, text=True, timeout=30, user=user,
                          env=dict(os.environ, **(env or {})))


def ports(*paths):
    args = []
    for n, path in enumerate(paths, 1):
        args += ["--port", "%d=%s" % (n, path)]
    return args


def missing(n):
    return "/nonexistent/vellum-reasons-tty%d" % n


def test_probe_names_every_reason():
    plain = os.path.join(tmp, "plain-file")
    open(plain, "w").close()
    held, silent = Emulator("held"), Emulator("silent", "--fault", "silent")
    seven = Emulator("seven", "--model", "7", "--range", "5000", "3750")
    code = ("import fcntl, os, sys, time\n"
            "fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)\n"
            "fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)\n"
            "print('held', flush=True)\n"
            "time.sleep(600)\n")
    holder = subprocess.Popen([sys.executable, "-c", code, held.path], stdout=subprocess.PIPE)
    try:
        check(holder.stdout.readline().strip() == b"held", "the holder could not take the pty")
        with open("/proc/%d/comm" % holder.pid) as f:
            name = f.read().strip()
        r = run(["--probe"] + ports(missing(1), plain, held.path, silent.path))
        check(r.returncode == 1 and r.stdout.startswith(OCCUPIED), "status %s, stdout %r"
              % (r.returncode, r.stdout))
        want = ["COM1 %s: no such device" % missing(1),
                "COM2 %s: not a serial device" % plain,
                "COM3 %s: held by %s (PID %d)" % (held.path, name, holder.pid),
                "COM4 %s: no answer to the identification request" % silent.path]
        check(r.stderr.splitlines() == want, "stderr %r, want %r" % (r.stderr, want))

        r = run(["--probe"] + ports(seven.path, silent.path, missing(3), missing(4)))
        check(r.returncode == 0 and r.stdout.startswith("COM1: 7-byte tablet"), "found: %r"
              % r.stdout)
        want = ["COM1 %s: 7-byte tablet" % seven.path,
                "COM2 %s: no answer to the identification request" % silent.path,
                "COM3 %s: no such device" % missing(3), "COM4 %s: no such device" % missing(4)]
        check(r.stderr.splitlines() == want, "stderr %r, want %r" % (r.stderr, want))
        # On the wire only the probe's own bytes: nothing to the held port, the dialogue to the
        # tablet, and to the silent line twice the dialogue up to the range request.
        check(held.received() == [], "bytes to the held port: %r" % held.received())
        check(seven.received() == DIALOGUE, "to the tablet: %r" % seven.received())
        check(silent.received() == DIALOGUE[:5] * 2, "to the silent line: %r" % silent.received())
    finally:
        holder.kill()
        holder.wait()
        for e in (held, silent, seven):
            e.stop()


def test_permission_denied_names_the_group():
    pty = Emulator("denied")
    try:
        if os.geteuid() == 0:
            # As root: a port of group dialout, as serial ports are, probed as nobody.
            if subprocess.run(["setpriv", "--reuid=nobody", "true"]).returncode != 0:
                print("SKIP permission denied: this machine does not let root act as nobody")
                return
            try:
                os.chown(pty.path, -1, grp.getgrnam("dialout").gr_gid)
            except KeyError:
                print("SKIP permission denied: this machine has no group dialout")
                return
            os.chmod(pty.path, 0o660)
            user, want = pwd.getpwnam("nobody").pw_name, DIALOUT
        else:
            os.chmod(pty.path, 0)  # a pty of our own group tty: no group to join
            user, want = None, "permission denied"
        r = run(["--probe"] + ports(pty.path, missing(2), missing(3), missing(4)), user=user)
        check(r.returncode == 1, "status %s" % r.returncode)
        check(r.stderr.splitlines()[0] == "COM1 %s: %s" % (pty.path, want), "stderr %r" % r.stderr)
        check(pty.received() == [], "bytes written: %r" % pty.received())
    finally:
        pty.stop()


def fake_machine(console, held, usb, acm):
    """A machine whose serial devices are links to emulator ptys in tmp."""
    dev = os.path.join(tmp, "dev")
    os.makedirs(dev, exist_ok=True)
    for name, target in (("ttyS0", console), ("ttyS2", held), ("ttyUSB0", usb),
                         ("ttyACM0", acm)):
        os.symlink(target, os.path.join(dev, name))
    text = ("console ttyS0\n"
            "device {d}/ttyS0 uart=4 bus=pnp\n"
            "device {d}/ttyS1 uart=0 bus=pnp\n"
            "device {d}/ttyS2 uart=4 bus=pnp holder=agetty:1\n"
            "device {d}/ttyUSB0 by-id={d}/serial/by-id/usb-FTDI_B usb=0403:6001 maker=FTDI "
            "product=\"FT232R USB UART\" driver=ftdi_sio\n"
            "device {d}/ttyACM0 by-id={d}/serial/by-id/usb-Arduino_A usb=2341:0043 "
            "driver=cdc_acm access=denied\n").format(d=dev)
    path = os.path.join(tmp, "machine.txt")
    with open(path, "w") as f:
        f.write(text)
    return dev, path


def test_ports_auto_on_a_made_up_machine():
    console, held = Emulator("console"), Emulator("held-auto")
    usb = Emulator("usb", "--model", "5", "--range", "2500", "2250")
    acm = Emulator("acm", "--fault", "silent")
    try:
        d, machine = fake_machine(console.path, held.path, usb.path, acm.path)
        env = {"VELLUM_FAKE_SYSTEM": machine}
        r = run(["--list-ports"], env=env)
        want = ["%s/ttyS0: built-in UART, system console, you may open it, free" % d,
                "%s/ttyS2: built-in UART, you may open it, held by agetty (PID 1)" % d,
                "%s/ttyACM0 (%s/serial/by-id/usb-Arduino_A): USB modem/ACM, 2341:0043, driver "
                "cdc_acm, you may not open it (group dialout may), free" % (d, d),
                "%s/ttyUSB0 (%s/serial/by-id/usb-FTDI_B): USB adapter, 0403:6001 \"FTDI\" "
                "\"FT232R USB UART\", driver ftdi_sio, you may open it, free" % (d, d)]
        check(r.returncode == 0 and r.stdout.splitlines() == want and r.stderr == "",
              "list-ports: %s %r %r" % (r.returncode, r.stdout, r.stderr))

        # Consoles and held ports are passed over; a --port keeps its COM port, before or after.
        acm_named = "%s/ttyACM0 (%s/serial/by-id/usb-Arduino_A), USB modem/ACM" % (d, d)
        usb_named = "%s/ttyUSB0 (%s/serial/by-id/usb-FTDI_B), USB adapter" % (d, d)
        passed = ["vellum: not taken: %s/ttyS0 (system console)" % d,
                  "vellum: not taken: %s/ttyS2 (held by agetty (PID 1))" % d]
        cases = [
            (["--ports", "auto"],
             ["vellum: COM1 = " + acm_named, "vellum: COM2 = " + usb_named,
              "vellum: COM3: no serial device left", "vellum: COM4: no serial device left"],
             ["COM1 %s/ttyACM0: no answer to the identification request" % d,
              "COM2 %s/ttyUSB0: 5-byte tablet" % d,
              "COM3: no serial device assigned", "COM4: no serial device assigned"], "COM2"),
        ]
        for order in (["--port", "1=" + missing(1), "--ports", "auto"],
                      ["--ports=auto", "--port=1=" + missing(1)]):
            cases.append((order,
                          ["vellum: COM1 = %s (--port)" % missing(1),
                           "vellum: COM2 = " + acm_named, "vellum: COM3 = " + usb_named,
                           "vellum: COM4: no serial device left"],
                          ["COM1 %s: no such device" % missing(1),
                           "COM2 %s/ttyACM0: no answer to the identification request" % d,
                           "COM3 %s/ttyUSB0: 5-byte tablet" % d,
                           "COM4: no serial device assigned"], "COM3"))
        for args, assigned, reasons, com in cases:
            r = run(args + ["--probe"], env=env)
            check(r.returncode == 0 and r.stdout.startswith(com + ": 5-byte tablet"),
                  "%s: %s %r" % (args, r.returncode, r.stdout))
            check(r.stderr.splitlines() == assigned + passed + reasons,
                  "%s: stderr\n%s\nwant\n%s" % (args, r.stderr, "\n".join(assigned + passed + reasons)))
        check(console.received() == [] and held.received() == [],
              "bytes to the console or the held port: %r %r"
              % (console.received(), held.received()))
    finally:
        for e in (console, held, usb, acm):
            e.stop()


def test_bad_port_options():
    for args in (["--ports", "ttyUSB0"], ["--ports"], ["--list-ports", "--probe"],
                 ["--monitor", "--list-ports"]):
        r = run(args)
        check(r.returncode == 2 and r.stdout == "" and r.stderr.count("\n") == 1 and
              r.stderr.startswith("vellum: "), "%s: %s %r" % (args, r.returncode, r.stderr))
    r = run(["--ports", "auto", "--probe"], env={"VELLUM_FAKE_SYSTEM": missing(1)})
    check(r.returncode == 2 and r.stderr == "vellum: VELLUM_FAKE_SYSTEM: cannot read %s\n"
          % missing(1), "unreadable machine: %s %r" % (r.returncode, r.stderr))


def test_list_ports_here_opens_no_device():
    if not shutil.which("strace") or subprocess.run(
            ["strace", "-o", "/dev/null", "true"], capture_output=True).returncode != 0:
        print("SKIP list-ports trace: strace is missing or may not trace here")
        return
    trace = os.path.join(tmp, "list-ports.trace")
    r = subprocess.run(["strace", "-f", "-e", "trace=open,openat,openat2", "-o", trace, vellum,
                        "--list-ports"], capture_output=True, text=True, timeout=30,
                       env={k: v for k, v in os.environ.items() if k != "VELLUM_FAKE_SYSTEM"})
    check(r.returncode == 0, "status %s: %r" % (r.returncode, r.stderr))
    with open(trace) as f:
        opened = [l for l in f if '"/dev/' in l and '"/dev/serial/by-id/"' not in l]
    check(opened == [], "--list-ports opened devices:\n" + "".join(opened))


def test_no_tablet_box_has_the_reasons():
    with Session(vellum, tablet, emulator_args=None) as s:
        s.start(wait_for_window=False)
        deadline = time.monotonic() + 10
        err = ""
        while NO_TABLET not in err and time.monotonic() < deadline:
            time.sleep(0.1)
            _, err = s.vellum_output()
        lines = err.splitlines()
        check(NO_TABLET in lines, "no message on stderr: %r" % err)
        after = lines[lines.index(NO_TABLET) + 1:][:4]
        want = ["COM%d /nonexistent/vellum-e2e-tty%d: no such device" % (n, n) for n in range(1, 5)]
        check(after == want, "stderr after the message %r" % after)
        # The same lines are the box's details: "Show Details..." (next to OK) opens them.
        box = s._until(lambda: s.run(["xdotool", "search", "--onlyvisible", "--pid",
                                      str(s.vellum.pid)]).stdout.split(), 10, "the box")[-1]
        s.run(["xdotool", "windowactivate", "--sync", box])
        height = s.geometry(box)[3]
        s.key("Tab")
        s.key("space")
        s._until(lambda: s.geometry(box)[3] > height + 50, 5, "the details to open")
        s.key("Escape")
        check(s.wait_exit(3.0) == 0, "exit status after closing the box")


if __name__ == "__main__":
    try:
        for name, test in list(globals().items()):
            if name.startswith("test_") and callable(test):
                if len(sys.argv) > 3 and sys.argv[3] and name != sys.argv[3]:
                    continue
                t0 = time.monotonic()
                test()
                print("ok %s (%.1f s)" % (name, time.monotonic() - t0))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
