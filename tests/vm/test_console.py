"""Probing never writes to the system console: in the guest the console is ttyS0, which is COM1
when no --port or --ports is given."""

import re
import signal

import vm
from vm import check

vellum, tablet = vm.programs()
PROBE_BYTES = b"\x13\x7a\x7e\x61\x40"


def written_since(guest, before):
    return guest.console_log()[before:]


def test_default_ports_pass_over_the_console(guest):
    cases = [  # what runs, and when it is done
        (["--probe"], None),
        (["--monitor"], "\n"),  # ended once the first packet is out
    ]
    for args, first_line in cases:
        before = len(guest.console_log())
        if first_line is None:
            r = guest.run([vellum] + args, timeout=60)
            status, out, err = r.status, r.out, r.err
        else:
            p = guest.spawn([vellum] + args, "vellum" + args[0])
            p.wait_for(first_line, 30)
            p.signal(signal.SIGINT)
            status = p.wait(10)
            out, err = p.output()
        written = written_since(guest, before)
        check(not any(b in written for b in (PROBE_BYTES[:1], PROBE_BYTES[1:3])),
              "%s wrote the probe's bytes on the console: %r" % (args, written))
        check(status == 0, "%s: status %s, %r" % (args, status, err))
        check(re.search(r"^(COM2 /dev/ttyS1: 7-byte tablet$|Tablet found on COM2 \(/dev/ttyS1\))",
                        err, re.M),
              "%s: no tablet on COM2: %r %r" % (args, out, err))
        com1 = re.search(r"^COM1 /dev/ttyS0: (.*)$", err, re.M)
        if args == ["--probe"]:
            check(com1 and "console" in com1.group(1), "COM1's line: %r" % err)


if __name__ == "__main__":
    vm.run_tests(globals(), uart=["--model", "7"])
