"""The rig's own logic, without a guest: module lists, the boot archive and kernel, QEMU's
command line, and the guest's agent over a socket pair."""

import lzma
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

import e2e
import initramfs
import qemu
from initramfs import Unavailable
from vm import check

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "guest"))
import agent  # noqa: E402  (the guest's side, run here over a socket pair)

tmp = tempfile.mkdtemp(prefix="vellum-vm-rig-")


def raises(kind, call):
    try:
        call()
    except kind as e:
        return e
    return None


def test_show_depends_lines():
    cases = [
        ("insmod /m/a.ko \ninsmod /m/b.ko \n", [("/m/a.ko", []), ("/m/b.ko", [])]),
        ("builtin virtio\ninsmod /m/9p.ko \n", [("/m/9p.ko", [])]),
        ("insmod /m/a.ko.xz debug=1 x=2\n", [("/m/a.ko.xz", ["debug=1", "x=2"])]),
        ("\n  \n", []),
    ]
    for text, want in cases:
        got = initramfs.parse_show_depends(text)
        check(got == want, "%r: %r, want %r" % (text, got, want))
    check(raises(ValueError, lambda: initramfs.parse_show_depends("FATAL: no module x\n")),
          "an unknown line passed")


def test_load_order_keeps_each_module_once_where_first_needed():
    a = [("/m/virtio_ring.ko", []), ("/m/virtio.ko", []), ("/m/virtio_pci.ko", [])]
    b = [("/m/virtio_ring.ko", []), ("/m/virtio.ko", []), ("/m/9pnet.ko", [])]
    got = [p for p, _ in initramfs.load_order([a, b])]
    check(got == ["/m/virtio_ring.ko", "/m/virtio.ko", "/m/virtio_pci.ko", "/m/9pnet.ko"],
          "order %r" % got)


def test_archive_unpacks_with_cpio():
    if not shutil.which("cpio"):
        print("cpio is not installed: the archive is not unpacked here")
        return
    files = {"init": b"#!/bin/sh\n", "modules/00-a.ko": b"\x7fELF" + bytes(range(7)),
             "bin/busybox": b"x" * 4099}
    entries = [("bin", 0o755, None), ("modules", 0o755, None)]
    entries += [(name, 0o755, data) for name, data in files.items()]
    out = os.path.join(tmp, "unpacked")
    os.mkdir(out)
    subprocess.run(["cpio", "-id", "--quiet"], input=initramfs.newc_archive(entries), cwd=out,
                   check=True)
    for name, data in files.items():
        with open(os.path.join(out, name), "rb") as f:
            check(f.read() == data, "%s differs after unpacking" % name)
        check(os.stat(os.path.join(out, name)).st_mode & 0o777 == 0o755, "%s mode" % name)


def test_first_stage_quotes_every_word():
    share = "/work/a b/it's"
    script = initramfs.first_stage_script([("00-x.ko", ["opt=a b"])], share, "/s/second stage",
                                          ["agent", "/a'b", "5"], exports=["/tmp/it's"])
    # Run the script's mount, insmod and switch_root lines with commands that print their words.
    fake = ("mkdir() { :; }; mount() { printf '<%s>' \"$@\"; echo; }; "
            "insmod() { printf '<%s>' \"$@\"; echo; }; switch_root() { printf '<%s>' \"$@\"; "
            "echo; }\n")
    # Without `exec`, which a function cannot stand in for.
    wanted = [line.replace("exec switch_root", "switch_root") for line in script.splitlines()
              if line.startswith(("insmod", "mkdir -p .", "exec switch_root"))]
    r = subprocess.run(["sh", "-c", fake + "\n".join(wanted)], capture_output=True, text=True)
    check(r.returncode == 0, "sh: %r" % r.stderr)
    lines = r.stdout.splitlines()
    check(lines[0] == "</modules/00-x.ko><opt=a b>", "insmod %r" % lines[0])
    check(lines[1].endswith("<export0><./tmp/it's>") and ",ro," in lines[1],
          "export mount %r" % lines[1])
    check(lines[2].endswith("<share><./work/a b/it's>"), "share mount %r" % lines[2])
    check(lines[3] == "</newroot></s/second stage><agent></a'b><5>", "switch_root %r" % lines[3])


def test_kernel_choice():
    def machine(images, with_modules):
        root = tempfile.mkdtemp(dir=tmp)
        os.makedirs(os.path.join(root, "boot"))
        for v in images:
            open(os.path.join(root, "boot", "vmlinuz-" + v), "wb").close()
        for v in with_modules:
            os.makedirs(os.path.join(root, "modules", v))
            open(os.path.join(root, "modules", v, "modules.dep"), "w").close()
        return os.path.join(root, "boot"), os.path.join(root, "modules")

    cases = [  # images, versions with modules, the running kernel, the choice
        (["6.1.0-9-amd64", "6.1.0-10-amd64"], ["6.1.0-9-amd64", "6.1.0-10-amd64"], "6.18.4",
         "6.1.0-10-amd64"),
        (["6.1.0-9-amd64", "6.1.0-10-amd64"], ["6.1.0-9-amd64", "6.1.0-10-amd64"],
         "6.1.0-9-amd64", "6.1.0-9-amd64"),
        (["6.1.0-9-amd64", "6.1.0-10-amd64"], ["6.1.0-9-amd64"], "6.18.4", "6.1.0-9-amd64"),
        (["6.1.0-9-amd64"], [], "6.18.4", None),
        ([], ["6.1.0-9-amd64"], "6.18.4", None),
    ]
    saved = os.environ.pop("VELLUM_VM_KERNEL", None)
    try:
        for images, modules, running, want in cases:
            boot, mods = machine(images, modules)
            if want is None:
                e = raises(Unavailable, lambda: initramfs.find_kernel(boot, mods, running))
                check(e and "no kernel image" in str(e), "%s: %s" % (images, e))
            else:
                image, version = initramfs.find_kernel(boot, mods, running)
                check(version == want and image == os.path.join(boot, "vmlinuz-" + want),
                      "%s / %s / %s: %s" % (images, modules, running, version))
    finally:
        if saved is not None:
            os.environ["VELLUM_VM_KERNEL"] = saved


def elf_with_notes(notes):
    """A 64-bit ELF image of one PT_NOTE segment holding (name, type) notes."""
    body = b""
    for name, kind in notes:
        n = name + b"\0"
        body += struct.pack("<III", len(n), 4, kind) + n + b"\0" * (-len(n) % 4) + b"\0" * 4
    header = bytearray(64)
    header[:6] = b"\x7fELF\x02\x01"
    struct.pack_into("<Q", header, 32, 64)  # program headers right after the ELF header
    struct.pack_into("<HH", header, 54, 56, 1)
    phdr = struct.pack("<IIQQQQQQ", 4, 0, 64 + 56, 0, 0, len(body), len(body), 4)
    return bytes(header) + phdr + body


def test_the_kernel_is_unpacked_only_with_an_entry_for_a_direct_boot():
    cases = [  # notes, the compressor, unpacked?
        ([(b"GNU", 3), (b"Xen", 18)], lambda d: lzma.compress(d, lzma.FORMAT_XZ), True),
        ([(b"Xen", 17)], lambda d: lzma.compress(d, lzma.FORMAT_XZ), False),
        ([(b"Xen", 18)], lambda d: d, False),  # nothing compressed to find
    ]
    for i, (notes, compress, unpacked) in enumerate(cases):
        elf = elf_with_notes(notes)
        image = os.path.join(tmp, "vmlinuz-%d" % i)
        with open(image, "wb") as f:
            f.write(b"MZ" + b"\0" * 1000 + compress(elf) + b"\0" * 100)
        got = initramfs.bootable_kernel(image, tmp)
        if unpacked:
            check(got != image, "case %d: not unpacked" % i)
            with open(got, "rb") as f:
                check(f.read() == elf, "case %d: unpacked bytes differ" % i)
            check(initramfs.bootable_kernel(image, tmp) == got, "case %d: not reused" % i)
        else:
            check(got == image, "case %d: %s, want the image itself" % (i, got))


def test_static_busybox_check():
    check(not initramfs._is_static_elf("/bin/sh"), "/bin/sh taken for a static program")
    check(not initramfs._is_static_elf(__file__), "a text file taken for a program")
    busybox = shutil.which("busybox")
    if busybox and "statically linked" in subprocess.run(["file", "-L", busybox],
                                                        capture_output=True, text=True).stdout:
        check(initramfs._is_static_elf(busybox), "static busybox not recognised")


def test_qemu_command_wires_the_ports_in_order():
    def serials(cmd):
        return [cmd[i + 1] for i, word in enumerate(cmd) if word == "-serial"]

    base = dict(kernel="/k", initrd="/i", share="/b/share", agent_socket="/s/a",
                qmp_socket="/s/q")
    cases = [  # machine arguments, -serial values, has the adapter
        (dict(console_log="/b/c.log", uart_pty="/dev/pts/7", adapter_pty="/dev/pts/8"),
         ["file:/b/c.log", "chardev:uart", "null"], True),
        (dict(console_log="/b/c.log"), ["file:/b/c.log", "null", "null"], False),
        (dict(console_log=None, uart_pty="/dev/pts/7"),
         ["chardev:console", "chardev:uart", "null"], False),
    ]
    for args, want, adapter in cases:
        cmd = qemu.qemu_command(qemu.Machine(**dict(base, **args)))
        check(serials(cmd) == want, "%s: -serial %s" % (args, serials(cmd)))
        check(("usb-serial,bus=xhci.0,id=ftdi,chardev=adapter" in cmd) == adapter,
              "%s: adapter" % args)
        if args.get("uart_pty"):
            check("serial,id=uart,path=/dev/pts/7" in cmd, "%s: uart chardev" % args)
        virtfs = [cmd[i + 1] for i, w in enumerate(cmd) if w == "-virtfs"]
        check(len(virtfs) == 2 and "path=/," in virtfs[0] and "readonly=on" in virtfs[0]
              and "path=/b/share," in virtfs[1] and "readonly" not in virtfs[1],
              "shares %s" % virtfs)
        check(cmd[cmd.index("-append") + 1].startswith("console=ttyS0 "), "console")
    cmd = qemu.qemu_command(qemu.Machine(**dict(base, exports=["/tmp/c", "/tmp/d"])))
    virtfs = [cmd[i + 1] for i, w in enumerate(cmd) if w == "-virtfs"]
    check(virtfs[2:] == [
        "local,path=/tmp/c,mount_tag=export0,security_model=none,readonly=on,multidevs=remap",
        "local,path=/tmp/d,mount_tag=export1,security_model=none,readonly=on,multidevs=remap"],
        "exports %s" % virtfs)


def test_folders_the_guest_hides():
    for path, hidden in (("/tmp", True), ("/tmp/x/y", True), ("/run/user/0", True),
                         ("/tmpfoo", False), ("/work/build/tests/vm", False)):
        check(qemu.path_is_hidden_in_guest(path) == hidden, "%s" % path)
    # A clone under /tmp is shown to the guest again: its first folder below /tmp.
    exports = qemu.guest_exports(["/tmp/c/tests/vm", "/tmp/c/build/tests/vm", "/tmp/c/build/app",
                                  "/work/build", "/run/user/0", "/tmp", "/tmp/d e/x"])
    check(exports == ["/tmp/c", "/tmp/d e"], "exports %s" % exports)
    check(not qemu.path_is_hidden_in_guest("/tmp/c/build/tests/vm", exports), "under an export")
    check(qemu.path_is_hidden_in_guest("/tmp/cc/build", exports), "beside an export")


def gone(pid, timeout=5):
    """The process ended (a zombie, or reaped) within timeout."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            with open("/proc/%d/stat" % pid) as f:
                if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                    return True
        except FileNotFoundError:
            return True
        time.sleep(0.02)
    return False


class AgentOnASocket:
    """The guest's agent serving one end of a socket pair, as it would its virtio port."""

    def __init__(self):
        self.host, guest = socket.socketpair()
        self.agent = agent.Agent(guest.fileno())
        self.guest = guest
        self.thread = threading.Thread(target=self.agent.loop, daemon=True)
        self.thread.start()
        self.line = qemu.LineClient.over(self.host)
        check("ready" in self.line.receive(10), "no ready line")

    def ask(self, request, timeout=20):
        self.line.send(request)
        while True:
            answer = self.line.receive(timeout)
            check(answer is not None, "no answer to %s" % request)
            if answer.get("id") == request.get("id"):
                return answer


def test_agent_runs_spawns_signals_and_ends_its_processes():
    a = AgentOnASocket()
    r = a.ask({"id": 1, "op": "run", "argv": ["sh", "-c", "echo out; echo err >&2; exit 3"],
               "env": {"X": "1"}, "timeout": 10})
    check((r["status"], r["out"], r["err"], r["timed_out"]) == (3, "out\n", "err\n", False),
          "run: %s" % r)
    r = a.ask({"id": 2, "op": "run", "argv": ["sleep", "30"], "timeout": 0.2})
    check(r["timed_out"] and r["status"] == -signal.SIGKILL, "timeout: %s" % r)
    out, err = os.path.join(tmp, "p.out"), os.path.join(tmp, "p.err")
    r = a.ask({"id": 3, "op": "spawn", "argv": ["sh", "-c", "echo $X; exec sleep 30"],
               "env": {"X": "from the host"}, "out": out, "err": err})
    pid = r["pid"]
    check(a.ask({"id": 4, "op": "wait", "pid": pid, "timeout": 0.2})["status"] is None,
          "a sleeping process ended")
    a.ask({"id": 5, "op": "signal", "pid": pid, "signal": int(signal.SIGTERM)})
    check(a.ask({"id": 6, "op": "wait", "pid": pid, "timeout": 10})["status"] == -signal.SIGTERM,
          "signal")
    with open(out) as f:
        check(f.read() == "from the host\n", "spawned output")
    r = a.ask({"id": 7, "op": "wait", "pid": 1, "timeout": 1})
    check("error" in r, "waiting for a stranger: %s" % r)
    check("error" in a.ask({"id": 8, "op": "reboot"}), "unknown request")
    r = a.ask({"id": 9, "op": "spawn", "argv": ["sleep", "30"], "out": out, "err": err})
    a.ask({"id": 10, "op": "quit"})
    a.thread.join(10)
    check(not a.thread.is_alive(), "the agent goes on after quit")
    check(gone(r["pid"]), "a spawned process outlived quit")


if __name__ == "__main__":
    try:
        e2e.run_tests(globals())
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
