"""QEMU's command line for the guest, and the two sockets the host drives it through: QMP (the
machine: unplugging the adapter) and the agent's line (commands in the guest)."""

import json
import os
import socket
import time

__all__ = ["Machine", "qemu_command", "kernel_command_line", "LineClient", "Qmp", "AGENT_PORT",
           "ADAPTER_ID", "guest_exports", "path_is_hidden_in_guest"]

AGENT_PORT = "vellum.agent"  # the virtio serial port's name (guest/agent.py looks for it)
ADAPTER_ID = "ftdi"          # the USB adapter's QEMU device id, for device_del


class Machine:
    """What one guest is made of. uart_pty / adapter_pty: the host pty behind the guest's
    ttyS1 and behind the USB serial adapter (ttyUSB0); None leaves ttyS1 a UART with nothing
    behind it, and leaves the adapter out. exports: host folders the guest's own mounts would
    hide (guest_exports), each shared read-only as tag export0, export1, ..."""

    def __init__(self, kernel, initrd, share, console_log=None, uart_pty=None, adapter_pty=None,
                 agent_socket=None, qmp_socket=None, display=False, accel="tcg", memory_mb=1024,
                 cpus=2, append=(), extra=(), exports=()):
        self.kernel, self.initrd, self.share = kernel, initrd, share
        self.exports = list(exports)  # host folders shown read-only at their own paths
        self.console_log = console_log  # None: the console is this terminal (the shell)
        self.uart_pty, self.adapter_pty = uart_pty, adapter_pty
        self.agent_socket, self.qmp_socket = agent_socket, qmp_socket
        self.display, self.accel = display, accel
        self.memory_mb, self.cpus = memory_mb, cpus
        self.append, self.extra = list(append), list(extra)


def kernel_command_line(machine):
    # panic=-1 with -no-reboot: a guest that panics ends QEMU at once instead of hanging.
    return " ".join(["console=ttyS0", "quiet", "panic=-1"] + machine.append)


def qemu_command(m, qemu="qemu-system-x86_64"):
    cmd = [qemu, "-accel", m.accel, "-m", str(m.memory_mb), "-smp", str(m.cpus),
           "-nodefaults", "-no-user-config", "-no-reboot", "-display", "none",
           "-vga", "std" if m.display else "none",
           "-kernel", m.kernel, "-initrd", m.initrd, "-append", kernel_command_line(m)]
    # The ISA ports in order: ttyS0 the console, ttyS1 the UART under test, ttyS2 a UART with
    # nothing behind it. ttyS3 stays a device node with no UART.
    if m.console_log is None:
        cmd += ["-chardev", "stdio,id=console,mux=on,signal=off", "-serial", "chardev:console",
                "-mon", "chardev=console,mode=readline"]
    else:
        cmd += ["-serial", "file:" + m.console_log]
    if m.uart_pty:
        cmd += ["-chardev", "serial,id=uart,path=" + m.uart_pty, "-serial", "chardev:uart"]
    else:
        cmd += ["-serial", "null"]
    cmd += ["-serial", "null"]
    if m.adapter_pty:
        # On xHCI, as most adapters are plugged today; QEMU 7.2's UHCI sometimes crashes when
        # the adapter is pulled out while it streams.
        cmd += ["-device", "qemu-xhci,id=xhci",
                "-chardev", "serial,id=adapter,path=" + m.adapter_pty,
                "-device", "usb-serial,bus=xhci.0,id=%s,chardev=adapter" % ADAPTER_ID]
    cmd += ["-virtfs", "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,"
                       "multidevs=remap",
            "-virtfs", "local,path=%s,mount_tag=share,security_model=none,multidevs=remap"
                       % m.share]
    for i, path in enumerate(m.exports):
        cmd += ["-virtfs", "local,path=%s,mount_tag=export%d,security_model=none,readonly=on,"
                           "multidevs=remap" % (path, i)]
    if m.agent_socket:
        cmd += ["-device", "virtio-serial-pci,id=vser",
                "-chardev", "socket,id=agent,path=%s,server=on,wait=off" % m.agent_socket,
                "-device", "virtserialport,bus=vser.0,chardev=agent,name=" + AGENT_PORT]
    if m.qmp_socket:
        cmd += ["-qmp", "unix:%s,server=on,wait=off" % m.qmp_socket]
    return cmd + m.extra


class LineClient:
    """JSON objects, one a line, over a Unix socket that QEMU listens on."""

    def __init__(self, path, alive, timeout=30):
        deadline = time.monotonic() + timeout
        while True:
            self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            try:
                self.sock.connect(path)
                break
            except OSError:
                self.sock.close()
                if not alive() or time.monotonic() > deadline:
                    raise ConnectionError("QEMU did not open %s" % path)
                time.sleep(0.02)
        self.pending = b""

    @classmethod
    def over(cls, sock):
        """A client on a socket already connected."""
        client = cls.__new__(cls)
        client.sock, client.pending = sock, b""
        return client

    def send(self, message):
        self.sock.sendall((json.dumps(message) + "\n").encode())

    def receive(self, timeout):
        """The next object, or None when none came within timeout (None: wait for ever)."""
        deadline = None if timeout is None else time.monotonic() + timeout
        while b"\n" not in self.pending:
            left = None if deadline is None else deadline - time.monotonic()
            if left is not None and left <= 0:
                return None
            self.sock.settimeout(left)
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                return None
            if not chunk:
                raise ConnectionError("the line closed")
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return json.loads(line)

    def close(self):
        self.sock.close()


class Qmp(LineClient):
    def __init__(self, path, alive):
        super().__init__(path, alive)
        self.events = []
        self.receive(10)  # the greeting
        self.command("qmp_capabilities")

    def command(self, name, timeout=10, **arguments):
        self.send({"execute": name, "arguments": arguments})
        deadline = time.monotonic() + timeout
        while True:
            answer = self.receive(max(0.0, deadline - time.monotonic()))
            if answer is None:
                raise TimeoutError("QMP %s: no answer" % name)
            if "event" in answer:
                self.events.append(answer)
            elif "error" in answer:
                raise RuntimeError("QMP %s: %s" % (name, answer["error"].get("desc")))
            elif "return" in answer:
                return answer["return"]

    def wait_event(self, name, timeout, match=lambda data: True):
        deadline = time.monotonic() + timeout
        while True:
            for e in self.events:
                if e["event"] == name and match(e.get("data", {})):
                    self.events.remove(e)
                    return e
            answer = self.receive(max(0.0, deadline - time.monotonic()))
            if answer is None:
                raise TimeoutError("no QMP event %s" % name)
            if "event" in answer:
                self.events.append(answer)


GUEST_OWN = ("/tmp", "/run", "/dev", "/proc", "/sys")


def _own_top(real):
    return next((top for top in GUEST_OWN if real == top or real.startswith(top + "/")), None)


def path_is_hidden_in_guest(path, exports=()):
    """True where the guest mounts its own file systems, so that a share there would be hidden
    or would shadow the guest's own, and no export shows it again."""
    real = os.path.realpath(path)
    if _own_top(real) is None:
        return False
    return not any(real == e or real.startswith(e + "/") for e in exports)


def guest_exports(paths):
    """The host folders to show the guest again at their own paths, so that it sees `paths`
    (the project, the programs, the work folder): for each one under the guest's own /tmp
    (a clone there, say), its first folder below /tmp. /run, /dev and the rest cannot be."""
    exports = []
    for path in paths:
        real = os.path.realpath(path)
        if _own_top(real) != "/tmp" or real == "/tmp":
            continue
        first = "/tmp/" + real[len("/tmp/"):].split("/")[0]
        if first not in exports:
            exports.append(first)
    return exports
