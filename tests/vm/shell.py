"""make vm-shell: a shell in the real-kernel tests' guest, with the emulators wired.

    python3 tests/vm/shell.py BUILD_FOLDER

VELLUM_VM_UART and VELLUM_VM_ADAPTER give the emulators' arguments ("none": no emulator);
VELLUM_VM_DISPLAY=1 adds the VGA card for weston."""

import os
import shlex
import sys

import vm

DEFAULT_UART, DEFAULT_ADAPTER = "--model 7", "--model 5 --range 2500 2250"


def emulator_args(name, default):
    text = os.environ.get(name, default)
    return None if text.strip() == "none" else shlex.split(text)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    uart = emulator_args("VELLUM_VM_UART", DEFAULT_UART)
    adapter = emulator_args("VELLUM_VM_ADAPTER", DEFAULT_ADAPTER)
    display = os.environ.get("VELLUM_VM_DISPLAY") == "1"
    vellum = os.path.relpath(os.path.join(build, "app", "vellum"))
    print("""vm-shell: the distribution kernel under QEMU over this machine's root (read-only, changes
in memory), this folder the shell's own; %s's programs are at the same paths.
  ttyS0    this console
  ttyS1    a 16550A UART, %s
  ttyS2    a 16550A UART with nothing behind it; ttyS3 a node with no UART
  ttyUSB0  %s
Try %s --probe --ports auto, or --list-ports. Ctrl+A c switches to QEMU's monitor and back
(device_del ftdi pulls the adapter out), Ctrl+A x ends QEMU, poweroff or Ctrl+D the guest.%s
""" % (os.path.relpath(build),
       "vellum-tablet %s behind it" % " ".join(uart) if uart is not None else "nothing behind it",
       "an FTDI adapter, vellum-tablet %s behind it" % " ".join(adapter)
       if adapter is not None else "none (VELLUM_VM_ADAPTER=none)",
       vellum, "\nweston: modprobe bochs is done; XDG_RUNTIME_DIR=/run/user/0 weston "
       "--backend=drm-backend.so --use-pixman --tty=2" if display else ""))
    guest = vm.Guest(os.path.join(build, "tools", "vellum-tablet"), uart=uart, adapter=adapter,
                     display=display, workdir=os.path.join(build, "tests", "vm"),
                     watchdog=8 * 3600)
    try:
        with guest:
            return guest.shell()
    except vm.Unavailable as e:
        sys.exit("vm-shell: the guest cannot run here: %s" % e)


if __name__ == "__main__":
    sys.exit(main())
