"""The real-kernel rig: the distribution kernel under QEMU, booted over this machine's own root,
with vellum-tablet emulators wired to a 16550A UART and to a USB serial adapter.

    import vm

    vellum, tablet = vm.programs()             # as CTest passes them (tests/vm/CMakeLists.txt)

    def test_probe(guest):                     # one guest for all of a file's tests
        r = guest.run([vellum, "--probe"] + vm.ports(com1="/dev/ttyS1"), timeout=30)
        vm.check(r.status == 0 and "7-byte tablet" in r.out, "probe: %r" % r)

    vm.run_tests(globals(), uart=["--model", "7"], adapter=["--model", "5"])

run_tests boots the guest, runs the test_* functions in order and ends everything; it exits 77
(CTest's skip) with one line saying why when this machine cannot run a guest. desktop.py adds
Xvfb, openbox, weston and libinput's output on top.

The guest:
    ttyS0    the console, logged to a file (console_log()); the kernel writes there too.
    ttyS1    a 16550A UART (8250 driver) wired to the `uart` emulator, or to nothing.
    ttyS2    a 16550A UART with nothing behind it.
    ttyS3    a device node with no UART behind it.
    ttyUSB0  with `adapter`: an FTDI FT232 (0403:6001, ftdi_sio) on xHCI wired to that emulator,
             with its /dev/serial/by-id link; unplug_adapter() pulls it out (QEMU device_del).
    also     udev, /dev/uinput, evdev, libinput's tools; with display=True a VGA card (modprobe
             bochs gives /dev/dri/card0, for weston). Python 3, Xvfb, openbox, weston: whatever
             this machine has installed, since the guest runs on its root.
Files: this machine's root is read-only in the guest under a memory overlay, so the built
programs are at the same paths; the guest's /tmp and /run are its own. `share` is a writable
folder of the test's own, at the same path on both sides: what the guest writes there the host
reads at once.

Guest(tablet, uart=None, adapter=None, display=False, workdir=None, memory_mb=1024, cpus=1,
      boot_timeout=180, watchdog=600)
    tablet: the vellum-tablet program; uart, adapter: its arguments for the emulator behind the
    UART and behind the adapter (the pty path it prints is wired in), None for no emulator.
    workdir: where the share is made (default $VELLUM_VM_WORK, else the current folder); never
    under /tmp. watchdog: the guest powers itself off after this many seconds, whatever happens.

Methods (one request at a time):
    shell()                      instead of boot(): a shell in the guest on this terminal.
    boot()                       start everything; returns when the agent answers and udev has
                                 settled (and the adapter is there). Raises Unavailable when
                                 this machine cannot run the guest.
    run(argv, timeout=60, env=None, cwd=None) -> Result(status, out, err)
                                 argv: a list, or a string for sh -c. status: the exit code, or
                                 minus the signal; None when it ran past timeout (then killed).
    spawn(argv, name, env=None, cwd=None) -> GuestProcess, running in the background with its
                                 output in share/NAME.out and share/NAME.err.
    wait_until(shell_test, timeout, what)  polls a shell condition in the guest.
    unplug_adapter()             QEMU device_del of the adapter; returns once QEMU has done it.
    adapter_link()               the adapter's /dev/serial/by-id path in the guest.
    console_log() -> bytes       what the guest wrote on its console so far.
    path(name)                   a path in the share.
    uart, adapter                the Emulator objects (.pty, .log_path, .output(), .writes(),
                                 .pause(), .resume(), .stop()).
    stop()                       end everything (also done on exit from `with`).

ports(com1=PATH, ...) gives --port options for COM1 to COM4, paths that do not exist for those
not named: the guest's own ports are used only where a test names them.
missed_the_tablet(stderr): vellum's probe missed the emulator's answer (it waits a fixed 50 ms,
under emulation on a busy machine not always long enough); tests start such a run again.

GuestProcess: pid, name, out_path, err_path; wait(timeout) -> status or None; signal(sig);
    output() -> (out, err) so far; wait_for(text, timeout, stream="out") -> the output so far
    once it holds text.

Every process the rig starts (QEMU, the emulators) is in a process group of its own and gets
SIGKILL if the test's process dies, so nothing outlives a killed or timed-out test.

Environment: VELLUM_VM_KERNEL=/boot/vmlinuz-VERSION picks the kernel (else the newest with its
modules installed); VELLUM_VM_ACCEL=kvm asks QEMU for KVM (the default is the emulated CPU,
since nested KVM does not work on every virtual machine); VELLUM_VM_WORK is the work folder.
"""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

from initramfs import Unavailable, bootable_kernel, build_initramfs, find_kernel
from qemu import (ADAPTER_ID, LineClient, Machine, Qmp, guest_exports, path_is_hidden_in_guest,
                  qemu_command)

__all__ = ["Guest", "GuestProcess", "Result", "Emulator", "Unavailable", "GuestError",
           "run_tests", "programs", "ports", "missed_the_tablet", "fail", "check", "SKIP"]

HERE = os.path.dirname(os.path.abspath(__file__))
SECOND_STAGE = os.path.join(HERE, "guest", "second-stage.sh")
AGENT = os.path.join(HERE, "guest", "agent.py")
GUEST_MODULES = ["virtio_console", "xhci_pci", "ftdi_sio", "uinput", "evdev"]
SKIP = 77  # CTest's SKIP_RETURN_CODE for these tests
QEMU_NICE = 10


class GuestError(Exception):
    pass


def fail(message):
    raise AssertionError(message)


def check(condition, message):
    if not condition:
        fail(message)


def _die_with_parent():
    # PR_SET_PDEATHSIG: when the test's process ends, however it ends, so does this child.
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)


def _start(argv, nice=0, **kw):
    def child():
        _die_with_parent()
        if nice:
            os.nice(nice)
    return subprocess.Popen(argv, start_new_session=True, preexec_fn=child, **kw)


def _end(p, grace=3.0):
    if p is None or p.poll() is not None:
        return
    for sig, wait in ((signal.SIGTERM, grace), (signal.SIGKILL, 10)):
        try:
            os.killpg(p.pid, sig)
        except ProcessLookupError:
            return
        try:
            p.wait(wait)
            return
        except subprocess.TimeoutExpired:
            pass


class Result:
    def __init__(self, status, out, err):
        self.status, self.out, self.err = status, out, err

    def __repr__(self):
        return "Result(status=%r, out=%r, err=%r)" % (self.status, self.out, self.err)


class Emulator:
    """vellum-tablet on a pty of its own; log_path records every byte the host writes to it."""

    def __init__(self, tablet, args, folder, name):
        self.name = name
        self.out_path = os.path.join(folder, name + ".out")
        self.log_path = os.path.join(folder, name + ".writes")
        with open(self.out_path, "wb") as out:
            self.process = _start([tablet, "--log-writes", self.log_path] + list(args),
                                  stdout=out, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while True:
            text = self.output()
            if "\n" in text:
                self.pty = text.split("\n", 1)[0]
                break
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise GuestError("vellum-tablet %s did not name its pty: %r" % (args, text))
            time.sleep(0.02)

    def output(self):
        with open(self.out_path, "rb") as f:
            return f.read().decode(errors="replace")

    def writes(self):
        """The bytes the host wrote to the tablet, in order."""
        try:
            with open(self.log_path) as f:
                return bytes(int(line.split()[1], 16) for line in f if line.strip())
        except FileNotFoundError:
            return b""

    def pause(self):
        self.process.send_signal(signal.SIGSTOP)

    def resume(self):
        self.process.send_signal(signal.SIGCONT)

    def stop(self):
        if self.process.poll() is None:
            self.resume()
        _end(self.process)


class GuestProcess:
    def __init__(self, guest, pid, name, out_path, err_path):
        self.guest, self.pid, self.name = guest, pid, name
        self.out_path, self.err_path = out_path, err_path
        self.status = None

    def wait(self, timeout):
        if self.status is None:
            self.status = self.guest._request({"op": "wait", "pid": self.pid, "timeout": timeout},
                                              timeout + 30)["status"]
        return self.status

    def signal(self, sig=signal.SIGTERM):
        self.guest._request({"op": "signal", "pid": self.pid, "signal": int(sig)}, 30)

    def output(self):
        def read(path):
            with open(path, "rb") as f:
                return f.read().decode(errors="replace")
        return read(self.out_path), read(self.err_path)

    def wait_for(self, text, timeout, stream="out"):
        deadline = time.monotonic() + timeout
        while True:
            out, err = self.output()
            got = out if stream == "out" else err
            if text in got:
                return got
            if time.monotonic() > deadline:
                fail("%s: no %r in its std%s within %g s; stdout %r, stderr %r"
                     % (self.name, text, stream, timeout, out[-2000:], err[-2000:]))
            time.sleep(0.1)


class Guest:
    def __init__(self, tablet, uart=None, adapter=None, display=False, workdir=None,
                 memory_mb=1024, cpus=1, boot_timeout=180, watchdog=600):
        self.tablet = tablet
        self.uart_args, self.adapter_args = uart, adapter
        self.display = display
        self.workdir = os.path.abspath(workdir or os.environ.get("VELLUM_VM_WORK") or os.getcwd())
        self.memory_mb, self.cpus = memory_mb, cpus
        self.boot_timeout, self.watchdog = boot_timeout, watchdog
        self.qemu = self.qmp = self.agent = None
        self.uart = self.adapter = None
        self.share = self.sockets = None
        self.exports = []
        self.failed = False
        self._next_id = 0
        self._count = {}

    def __enter__(self):
        return self

    def __exit__(self, kind, value, tb):
        if kind is not None and not issubclass(kind, Unavailable):
            self.failed = True
        self.stop()
        return False

    # ---- start and end ----
    def _machine(self, kernel, initrd, console_log, agent=True):
        return Machine(kernel, initrd, self.share, console_log=console_log,
                       uart_pty=self.uart.pty if self.uart else None,
                       adapter_pty=self.adapter.pty if self.adapter else None,
                       agent_socket=os.path.join(self.sockets, "agent") if agent else None,
                       qmp_socket=os.path.join(self.sockets, "qmp") if agent else None,
                       display=self.display, accel=os.environ.get("VELLUM_VM_ACCEL", "tcg"),
                       memory_mb=self.memory_mb, cpus=self.cpus, exports=self.exports)

    def _prepare(self, mode):
        """Everything up to QEMU's start: returns the Machine."""
        qemu = shutil.which("qemu-system-x86_64")
        if not qemu:
            raise Unavailable("qemu-system-x86_64 is not installed (package qemu-system-x86)")
        kernel, version = find_kernel()
        # A clone under /tmp: the guest's own /tmp would hide the project and its build.
        seen = [HERE, self.workdir, os.getcwd()] + [os.path.dirname(p) for p in
                                                   (self.tablet,) + tuple(sys.argv[1:3])]
        self.exports = guest_exports(seen)
        if path_is_hidden_in_guest(self.workdir, self.exports):
            raise GuestError("the work folder %s would be hidden in the guest" % self.workdir)
        os.makedirs(self.workdir, exist_ok=True)
        self.share = tempfile.mkdtemp(prefix="guest-", dir=self.workdir)
        # Unix socket paths are short: they live in a folder of their own under /tmp.
        self.sockets = tempfile.mkdtemp(prefix="vellum-vm-")
        initrd = os.path.join(self.sockets, "initrd.cpio")
        modules = GUEST_MODULES + (["bochs"] if self.display else [])
        build_initramfs(initrd, version, self.share, SECOND_STAGE,
                        [mode, str(self.watchdog), AGENT, os.getcwd()] + modules, self.exports)
        if self.uart_args is not None:
            self.uart = Emulator(self.tablet, self.uart_args, self.share, "uart")
        if self.adapter_args is not None:
            self.adapter = Emulator(self.tablet, self.adapter_args, self.share, "adapter")
        return qemu, bootable_kernel(kernel, self.workdir), initrd

    def boot(self):
        qemu, kernel, initrd = self._prepare("agent")
        self.console_path = os.path.join(self.share, "console.log")
        machine = self._machine(kernel, initrd, self.console_path)
        self.qemu_err = os.path.join(self.share, "qemu.err")
        with open(self.qemu_err, "wb") as err:
            # One emulated CPU, below the other tests' priority: the guest takes one of CTest's
            # slots, and the tests beside it keep their timing.
            self.qemu = _start(qemu_command(machine, qemu), nice=QEMU_NICE,
                               stdin=subprocess.DEVNULL, stdout=err, stderr=subprocess.STDOUT)
        alive = lambda: self.qemu.poll() is None
        try:
            self.qmp = Qmp(machine.qmp_socket, alive)
            self.agent = LineClient(machine.agent_socket, alive)
        except ConnectionError:
            self._not_started()
            raise
        t0 = time.monotonic()
        while True:
            message = self.agent.receive(1.0)
            if message and "ready" in message:
                self.ready_uptime = message["ready"]
                break
            if not alive():
                self._not_started()
                fail("the guest ended before its agent started; console:\n" + self._console_tail())
            if time.monotonic() - t0 > self.boot_timeout:
                fail("the guest's agent did not start within %d s; console:\n%s"
                     % (self.boot_timeout, self._console_tail()))
        self.boot_seconds = time.monotonic() - t0
        if self.adapter:
            self.wait_until("test -e /dev/ttyUSB0 && ls /dev/serial/by-id/ | grep -q .", 30,
                            "the USB adapter")
            self.run(["udevadm", "settle"], timeout=30)
        return self

    def shell(self):
        """A shell in the guest on this terminal, its console (make vm-shell). Returns when the
        guest or QEMU ends."""
        qemu, kernel, initrd = self._prepare("shell")
        machine = self._machine(kernel, initrd, None, agent=False)
        # The kernel hands parameters it does not know to the init as its environment.
        size = shutil.get_terminal_size()
        machine.append += ["TERM=" + os.environ.get("TERM", "vt100"), "LINES=%d" % size.lines,
                           "COLUMNS=%d" % size.columns]
        self.qemu = subprocess.Popen(qemu_command(machine, qemu), preexec_fn=_die_with_parent)
        return self.qemu.wait()

    def _not_started(self):
        """QEMU ended before the kernel said anything: this machine cannot run it."""
        if self.qemu.poll() is not None and not self.console_log().strip():
            with open(self.qemu_err, "rb") as f:
                why = f.read().decode(errors="replace").strip().splitlines()
            raise Unavailable("QEMU could not start: %s" % (why[-1] if why else "no reason given"))

    def stop(self):
        if self.agent:
            try:
                self.agent.send({"op": "quit", "id": -1})
                self.agent.receive(3)
            except (OSError, ConnectionError, ValueError):
                pass
            self.agent.close()
            self.agent = None
        if self.qemu:
            try:
                self.qemu.wait(5)  # the guest powers off once the agent has ended
            except subprocess.TimeoutExpired:
                _end(self.qemu)
        if self.qmp:
            self.qmp.close()
            self.qmp = None
        for e in (self.uart, self.adapter):
            if e:
                e.stop()
        if self.sockets:
            shutil.rmtree(self.sockets, ignore_errors=True)
            self.sockets = None
        if self.share and os.path.isdir(self.share):
            if self.failed:
                print("vm: the guest's files are kept in %s" % self.share, file=sys.stderr)
            else:
                shutil.rmtree(self.share, ignore_errors=True)

    # ---- in the guest ----
    def _request(self, request, timeout):
        if not self.agent:
            raise GuestError("the guest is not running")
        self._next_id += 1
        request["id"] = self._next_id
        self.agent.send(request)
        deadline = time.monotonic() + timeout
        while True:
            answer = self.agent.receive(max(0.0, deadline - time.monotonic()))
            if answer is None:
                raise GuestError("the guest did not answer %s within %g s" % (request, timeout))
            if answer.get("id") == self._next_id:
                if "error" in answer:
                    raise GuestError("%s: %s" % (request.get("argv", request), answer["error"]))
                return answer

    @staticmethod
    def _argv(argv):
        return ["sh", "-c", argv] if isinstance(argv, str) else [str(a) for a in argv]

    def run(self, argv, timeout=60, env=None, cwd=None):
        a = self._request({"op": "run", "argv": self._argv(argv), "env": env or {}, "cwd": cwd,
                           "timeout": timeout}, timeout + 30)
        return Result(None if a["timed_out"] else a["status"], a["out"], a["err"])

    def spawn(self, argv, name, env=None, cwd=None):
        n = self._count.get(name, 0)
        self._count[name] = n + 1
        base = self.path(name if n == 0 else "%s-%d" % (name, n))
        a = self._request({"op": "spawn", "argv": self._argv(argv), "env": env or {},
                           "cwd": cwd, "out": base + ".out", "err": base + ".err"}, 30)
        return GuestProcess(self, a["pid"], name, base + ".out", base + ".err")

    def wait_until(self, shell_test, timeout, what):
        script = ("i=0; until %s; do i=$((i+1)); [ $i -gt %d ] && exit 1; sleep 0.1; done"
                  % (shell_test, int(timeout * 10)))
        r = self.run(script, timeout=timeout + 10)
        check(r.status == 0, "timed out waiting in the guest for %s" % what)

    def unplug_adapter(self, timeout=10):
        check(self.adapter is not None, "no adapter to unplug")
        # QEMU 7.2 crashes now and then when bytes come from the adapter's pty while the
        # adapter is being removed: the tablet pauses (the line goes quiet for half a second,
        # which the guest's reader sees as a pause in the stream), and the pull comes then.
        self.adapter.pause()
        try:
            time.sleep(0.5)
            self.qmp.command("device_del", id=ADAPTER_ID)
            self.qmp.wait_event("DEVICE_DELETED", timeout,
                                lambda data: data.get("device") == ADAPTER_ID)
        finally:
            self.adapter.resume()

    # ---- the host's side ----
    def path(self, name):
        return os.path.join(self.share, name)

    def adapter_link(self):
        """The adapter's /dev/serial/by-id path, as udev made it in the guest."""
        names = self.run("ls /dev/serial/by-id/").out.split()
        check(len(names) == 1, "by-id links in the guest: %r" % names)
        return "/dev/serial/by-id/" + names[0]

    def console_log(self):
        try:
            with open(self.console_path, "rb") as f:
                return f.read()
        except (AttributeError, FileNotFoundError):
            return b""

    def _console_tail(self, lines=40):
        return "\n".join(self.console_log().decode(errors="replace").splitlines()[-lines:])


def ports(**paths):
    """--port for COM1 to COM4: the paths given as com1=..., paths that do not exist otherwise."""
    args = []
    for n in range(1, 5):
        args += ["--port", "%d=%s" % (n, paths.get("com%d" % n, "/nonexistent/vm-tty%d" % n))]
    return args


def missed_the_tablet(err):
    """Whether vellum's stderr tells of a probe that found no tablet. The probe waits a fixed
    50 ms for each answer; the identification block alone takes 32 ms on the line, and under
    emulation on a busy machine the rest of the way can take longer."""
    return "Tablet  not  found" in err


def programs():
    """(vellum, tablet) from the command line, as CTest passes them."""
    if len(sys.argv) < 3:
        sys.exit("usage: %s VELLUM VELLUM_TABLET" % sys.argv[0])
    return os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])


def run_tests(namespace, only=None, **guest_args):
    """Boots one guest (Guest(tablet, **guest_args), the tablet from the command line) and runs
    the namespace's test_* functions in it, in order, each given the guest. Exits 77 (skip) with
    one line saying why when this machine cannot run the guest, 1 on the first failure, after
    printing the console's end and keeping the guest's files."""
    _, tablet = programs()
    tests = [(n, f) for n, f in namespace.items()
             if n.startswith("test_") and callable(f) and (not only or n in only)]
    guest = Guest(tablet, **guest_args)
    try:
        with guest:
            guest.boot()
            print("guest up in %.1f s" % guest.boot_seconds)
            for name, test in tests:
                t0 = time.monotonic()
                test(guest)
                print("ok %s (%.1f s)" % (name, time.monotonic() - t0))
    except Unavailable as e:
        print("SKIP: the real-kernel tests cannot run here: %s" % e)
        sys.exit(SKIP)
    except Exception as e:
        guest.failed = True
        traceback.print_exc()
        print("FAIL: %s" % e, file=sys.stderr)
        print("---- the guest's console, last lines ----\n" + guest._console_tail(),
              file=sys.stderr)
        sys.exit(1)
