"""The guest's first root: a static busybox and the kernel modules that reach this machine's root
filesystem over 9p, packed as a newc cpio archive the kernel unpacks at boot.

Everything else the guest needs (udev, the serial and USB drivers, Python, the built programs)
comes from this machine's own root once the first stage has switched to it.
"""

import gzip
import lzma
import os
import re
import shutil
import stat
import struct
import subprocess
import zlib

__all__ = ["Unavailable", "ROOT_MODULES", "find_kernel", "find_static_busybox", "find_modprobe", "bootable_kernel",
           "parse_show_depends", "load_order", "module_bytes", "first_stage_script",
           "newc_archive", "build_initramfs"]

# What the first stage needs to mount the root: the PCI transport, 9p over virtio, and the
# overlay that makes the read-only root writable in memory.
ROOT_MODULES = ("virtio_pci", "9pnet_virtio", "9p", "overlay")


class Unavailable(Exception):
    """The machine cannot run the guest (no QEMU, no kernel, ...): a reason to skip, not a fault."""


def _version_key(version):
    return [int(p) if p.isdigit() else p for p in re.split(r"(\d+)", version)]


def find_kernel(boot="/boot", modules="/lib/modules", running=None):
    """(image path, version) of an installed kernel that has its modules.

    VELLUM_VM_KERNEL=PATH picks the image (its version from the name vmlinuz-VERSION). Else the
    running kernel's version if its image is installed here, else the newest. The running kernel
    often is not one of them: a container or a virtual machine boots what its host gives it."""
    running = running if running is not None else os.uname().release
    chosen = os.environ.get("VELLUM_VM_KERNEL")
    if chosen:
        name = os.path.basename(chosen)
        if not name.startswith("vmlinuz-"):
            raise Unavailable("VELLUM_VM_KERNEL=%s is not named vmlinuz-VERSION" % chosen)
        candidates = [name[len("vmlinuz-"):]]
        boot = os.path.dirname(chosen) or "."
    else:
        try:
            names = os.listdir(boot)
        except OSError as e:
            raise Unavailable("cannot list %s: %s" % (boot, e.strerror))
        candidates = [n[len("vmlinuz-"):] for n in names if n.startswith("vmlinuz-")]
    usable = [v for v in candidates
              if os.path.isfile(os.path.join(modules, v, "modules.dep"))]
    if not usable:
        raise Unavailable("no kernel image in %s with its modules in %s (package "
                          "linux-image-amd64)" % (boot, modules))
    version = running if running in usable else max(usable, key=_version_key)
    image = os.path.join(boot, "vmlinuz-" + version)
    if not os.access(image, os.R_OK):
        raise Unavailable("%s is not readable by this user (it is by root)" % image)
    return image, version


def _elf_notes(elf):
    """(name, type) of every note in a 64-bit little-endian ELF image's PT_NOTE segments."""
    if len(elf) < 64 or elf[:4] != b"\x7fELF" or elf[4] != 2 or elf[5] != 1:
        return []
    phoff, = struct.unpack_from("<Q", elf, 32)
    phentsize, phnum = struct.unpack_from("<HH", elf, 54)
    notes = []
    for i in range(phnum):
        at = phoff + i * phentsize
        if at + 56 > len(elf):
            break
        p_type, _, offset, _, _, size = struct.unpack_from("<IIQQQQ", elf, at)
        if p_type != 4:
            continue
        pos, end = offset, min(offset + size, len(elf))
        while pos + 12 <= end:
            namesz, descsz, kind = struct.unpack_from("<III", elf, pos)
            name = elf[pos + 12:pos + 12 + namesz].rstrip(b"\0")
            notes.append((name, kind))
            pos += 12 + (namesz + 3) // 4 * 4 + (descsz + 3) // 4 * 4
    return notes


def _decompressed_payload(image):
    """The ELF kernel inside a bzImage compressed with xz or gzip, or None."""
    decoders = ((b"\xfd7zXZ\x00", lambda: lzma.LZMADecompressor(lzma.FORMAT_XZ)),
                (b"\x1f\x8b\x08\x00", lambda: zlib.decompressobj(16 + zlib.MAX_WBITS)))
    for magic, decoder in decoders:
        at = image.find(magic)
        if at < 0:
            continue
        try:
            elf = decoder().decompress(image[at:])
        except (lzma.LZMAError, zlib.error):
            continue
        if elf[:4] == b"\x7fELF":
            return elf
    return None


def bootable_kernel(image, cache_dir):
    """What QEMU boots: the kernel uncompressed, when it has an entry point for a direct boot
    (the PVH note, Xen's type 18), else the image as it is. Unpacking the image inside the
    emulated CPU costs several seconds of every boot; here it is done once, kept in cache_dir
    under a name made of the image's name, size and time."""
    st = os.stat(image)
    cached = os.path.join(cache_dir, "%s.%d.%d.elf" % (os.path.basename(image), st.st_size,
                                                       int(st.st_mtime)))
    if os.path.exists(cached):
        return cached
    with open(image, "rb") as f:
        elf = _decompressed_payload(f.read())
    if elf is None or (b"Xen", 18) not in _elf_notes(elf):
        return image
    partial = "%s.%d.part" % (cached, os.getpid())  # two tests may unpack it at once
    with open(partial, "wb") as f:
        f.write(elf)
    os.replace(partial, cached)
    return cached


def _is_static_elf(path):
    """True for an ELF executable without a program interpreter (PT_INTERP)."""
    try:
        with open(path, "rb") as f:
            head = f.read(64)
            if len(head) < 64 or head[:4] != b"\x7fELF" or head[4] != 2 or head[5] != 1:
                return False  # only 64-bit little-endian, as the guest is
            phoff, = struct.unpack_from("<Q", head, 32)
            phentsize, phnum = struct.unpack_from("<HH", head, 54)
            f.seek(phoff)
            table = f.read(phentsize * phnum)
    except OSError:
        return False
    for i in range(phnum):
        p_type, = struct.unpack_from("<I", table, i * phentsize)
        if p_type == 3:  # PT_INTERP: needs a dynamic loader the first stage does not have
            return False
    return len(table) == phentsize * phnum


def find_static_busybox():
    for path in (shutil.which("busybox"), "/bin/busybox", "/usr/bin/busybox"):
        if path and _is_static_elf(path):
            return path
    raise Unavailable("no statically linked busybox (package busybox-static)")


def find_modprobe():
    path = shutil.which("modprobe") or next(
        (p for p in ("/sbin/modprobe", "/usr/sbin/modprobe") if os.access(p, os.X_OK)), None)
    if not path:
        raise Unavailable("no modprobe (package kmod)")
    return path


def parse_show_depends(text):
    """[(module path, [parameters])] in load order from `modprobe --show-depends` output.
    Modules built into the kernel need no loading."""
    loads = []
    for line in text.splitlines():
        words = line.split()
        if not words:
            continue
        if words[0] == "insmod" and len(words) >= 2:
            loads.append((words[1], words[2:]))
        elif words[0] != "builtin":
            raise ValueError("unexpected line from modprobe --show-depends: %r" % line)
    return loads


def load_order(per_module):
    """The modules of several --show-depends lists, each once, where it first appears."""
    seen, order = set(), []
    for loads in per_module:
        for path, params in loads:
            if path not in seen:
                seen.add(path)
                order.append((path, params))
    return order


def module_bytes(path):
    """The module's ELF bytes; busybox's insmod takes no compressed module."""
    with open(path, "rb") as f:
        data = f.read()
    if path.endswith(".xz"):
        return lzma.decompress(data)
    if path.endswith(".gz"):
        return gzip.decompress(data)
    if path.endswith(".zst"):
        if not shutil.which("zstd"):
            raise Unavailable("%s is zstd-compressed and zstd is not installed" % path)
        return subprocess.run(["zstd", "-dc", path], check=True, capture_output=True).stdout
    return data


def _sh_quote(word):
    return "'" + word.replace("'", "'\\''") + "'"


def first_stage_script(modules, share, second_stage, second_stage_args, exports=()):
    """/init: load the modules, lay a memory overlay over this machine's root (9p tag
    `hostroot`, read-only), mount the guest's own /tmp, /run, /dev/pts and /dev/shm on it and
    the host folders of `exports` (9p tags export0, ..., read-only) at their own paths, the
    test's share (9p tag `share`, writable) at `share`, and switch to it, running
    `second_stage`. On any failure it says why on the console and powers the guest off, so the
    host never waits on a stuck guest. (Mounting here, with busybox from memory, is much quicker
    than with the root's own mount over 9p.)"""
    lines = [
        "#!/bin/busybox sh",
        "/bin/busybox --install -s /bin",
        "export PATH=/bin",
        "die() { echo \"vm first stage: $*\"; echo o > /proc/sysrq-trigger; sleep 30; }",
        "mount -t proc proc /proc && mount -t sysfs sysfs /sys && mount -t devtmpfs devtmpfs /dev"
        " || die 'cannot mount /proc, /sys, /dev'",
    ]
    for name, params in modules:
        lines.append("insmod /modules/%s %s || die 'insmod %s failed'"
                     % (name, " ".join(_sh_quote(p) for p in params), name))
    # The root is read-only and does not change under the guest: caching it whole makes
    # starting programs in the guest several times faster.
    lines += [
        "mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=524288 hostroot /lower"
        " || die 'cannot mount the host root over 9p'",
        "mount -t tmpfs -o mode=0755 tmpfs /rw && mkdir /rw/upper /rw/work",
        "mount -t overlay -o lowerdir=/lower,upperdir=/rw/upper,workdir=/rw/work overlay /newroot"
        " || die 'cannot mount the overlay'",
        "for d in proc sys dev; do mount --move /$d /newroot/$d; done",
        "cd /newroot",
        "mount -t tmpfs -o mode=1777 tmpfs tmp && mount -t tmpfs -o mode=0755 tmpfs run"
        " && mkdir -p dev/pts dev/shm && mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts"
        " dev/pts && mount -t tmpfs -o mode=1777 tmpfs dev/shm || die 'cannot mount /tmp, /run'",
    ]
    # Not cached: the host writes there while the guest runs (the test's own files).
    lines += ["mkdir -p .%s && mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=524288"
              " export%d .%s || die 'cannot mount %s'"
              % (_sh_quote(path), i, _sh_quote(path), path.replace("'", ""))
              for i, path in enumerate(exports)]
    lines += [
        "mkdir -p .%s && mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288 share .%s"
        " || die 'cannot mount the share'" % (_sh_quote(share), _sh_quote(share)),
        "cd /",
        "exec switch_root /newroot %s" % " ".join(
            _sh_quote(w) for w in [second_stage] + list(second_stage_args)),
        "die 'switch_root failed'",
    ]
    return "\n".join(lines) + "\n"


def newc_archive(entries):
    """A newc cpio archive of entries (name, mode, data); data is bytes for a file, None for a
    directory, (major, minor) for a device node."""
    out = bytearray()

    def pad():
        out.extend(b"\0" * (-len(out) % 4))

    def member(ino, name, mode, body, rdev=(0, 0)):
        encoded = name.encode() + b"\0"
        fields = [ino, mode, 0, 0, 2 if stat.S_ISDIR(mode) else 1, 0, len(body), 0, 0,
                  rdev[0], rdev[1], len(encoded), 0]
        out.extend(b"070701" + b"".join(b"%08X" % f for f in fields))
        out.extend(encoded)
        pad()
        out.extend(body)
        pad()

    for ino, (name, mode, data) in enumerate(entries, start=1):
        if data is None:
            member(ino, name, stat.S_IFDIR | mode, b"")
        elif isinstance(data, tuple):
            member(ino, name, stat.S_IFCHR | mode, b"", rdev=data)
        else:
            member(ino, name, stat.S_IFREG | mode, bytes(data))
    member(0, "TRAILER!!!", 0, b"")
    return bytes(out)


def build_initramfs(path, version, share, second_stage, second_stage_args=(), exports=()):
    """Writes the archive to `path`."""
    busybox = find_static_busybox()
    modprobe = find_modprobe()
    lists = []
    for module in ROOT_MODULES:
        r = subprocess.run([modprobe, "-S", version, "--show-depends", module],
                           capture_output=True, text=True)
        if r.returncode != 0:
            raise Unavailable("kernel %s has no module %s: %s"
                              % (version, module, r.stderr.strip()))
        lists.append(parse_show_depends(r.stdout))
    modules, entries = [], []
    for i, (mod_path, params) in enumerate(load_order(lists)):
        name = "%02d-%s" % (i, re.sub(r"\.(xz|gz|zst)$", "", os.path.basename(mod_path)))
        modules.append((name, params))
        entries.append(("modules/" + name, 0o644, module_bytes(mod_path)))
    with open(busybox, "rb") as f:
        box = f.read()
    dirs = [(d, 0o755, None) for d in ("bin", "dev", "proc", "sys", "lower", "rw", "newroot",
                                       "modules")]
    script = first_stage_script(modules, share, second_stage, second_stage_args,
                                exports).encode()
    archive = newc_archive(dirs + [("dev/console", 0o600, (5, 1)), ("bin/busybox", 0o755, box),
                                   ("init", 0o755, script)] + entries)
    with open(path, "wb") as f:
        f.write(archive)
