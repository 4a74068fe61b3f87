"""The port commands on a real kernel: the 8250 UART with a tablet behind it, an empty UART, a
node with no UART, the console, and an FTDI adapter that udev names and that is pulled out
mid-stream. One guest for all; the adapter is pulled last."""

import re
import signal

import vm
from vm import check, ports

vellum, tablet = vm.programs()
UART = ["--model", "7", "--range", "5000", "3750"]
ADAPTER = ["--model", "5", "--range", "2500", "2250"]
UART_FOUND = "7-byte tablet, range 5000 x 3750"
ADAPTER_FOUND = "5-byte tablet, range 2500 x 2250"
PROBE_BYTES = b"\x13\x7a\x7e\x61\x40"


def probe(guest, args, found):
    """vellum --probe ARGS, again (up to three times in all) while it misses one of the tablets
    whose stdout lines start with the texts in `found`."""
    for attempt in range(3):
        r = guest.run([vellum, "--probe"] + args, timeout=60)
        if all(re.search(r"^COM\d: " + re.escape(f), r.out, re.M) for f in found):
            return r
        print("--probe %s missed a tablet (%r); again" % (" ".join(args), r.out))
    return r


def start_monitor(guest, args, name, found):
    """vellum --monitor ARGS in the background, once it has found its tablet, the one whose
    line ends in `found`. Started again (up to three times in all) while its probe misses the
    tablet or takes it for another (the identification block missed: a 5-byte tablet)."""
    for attempt in range(3):
        m = guest.spawn([vellum, "--monitor"] + args, name)
        for _ in range(120):
            err = m.output()[1]
            if "Tablet found on" in err or m.wait(0.25) is not None:
                break
        if re.search(r"^Tablet found on .*: %s$" % re.escape(found), err, re.M):
            return m
        m.signal(signal.SIGKILL)
        m.wait(10)
        err = m.output()[1]
        check("Tablet found on" in err or vm.missed_the_tablet(err), "%s: %r" % (name, err))
        print("%s missed the tablet (%r); again" % (name, err.splitlines()[:1]))
    vm.fail("%s missed the tablet three times" % name)


def port_lines(stderr):
    """{COMn: (path, what)} from the probe's diagnosis lines."""
    return {int(m.group(1)): (m.group(2), m.group(3))
            for m in re.finditer(r"^COM(\d) (\S+): (.*)$", stderr, re.M)}


def test_probe_says_what_is_on_every_kind_of_port(guest):
    r = probe(guest, ports(com1="/dev/ttyS0", com2="/dev/ttyS1", com3="/dev/ttyS2",
                           com4="/dev/ttyS3"), [UART_FOUND])
    check(r.status == 0, "probe status %s; %r" % (r.status, r.err))
    check(r.out.startswith("COM2: " + UART_FOUND), "stdout %r" % r.out)
    got = port_lines(r.err)
    want = {
        1: ("/dev/ttyS0", "no answer to the identification request"),  # the console, named
        2: ("/dev/ttyS1", "7-byte tablet"),                             # the UART and tablet
        3: ("/dev/ttyS2", "no answer to the identification request"),  # a UART, no device
        4: ("/dev/ttyS3", "no such device"),                            # a node, no UART
    }
    for n, line in want.items():
        check(got.get(n) == line, "COM%d: %r, want %r; stderr %r" % (n, got.get(n), line, r.err))


def test_probe_finds_the_tablet_on_the_adapter(guest):
    link = guest.adapter_link()
    r = probe(guest, ports(com1=link), [ADAPTER_FOUND])
    check(r.status == 0, "probe status %s; %r" % (r.status, r.err))
    check(r.out.startswith("COM1: " + ADAPTER_FOUND), "stdout %r" % r.out)
    check(port_lines(r.err).get(1) == (link, "5-byte tablet"), "stderr %r" % r.err)


def test_ports_auto_takes_the_uart_and_the_adapter_never_the_console(guest):
    link = guest.adapter_link()
    before = len(guest.console_log())
    r = probe(guest, ["--ports", "auto"], [UART_FOUND, ADAPTER_FOUND])
    check(r.status == 0, "probe status %s; %r" % (r.status, r.err))
    taken = dict(re.findall(r"^vellum: COM(\d) = (/dev/[^\s,]+)", r.err, re.M))
    check("/dev/ttyS0" not in taken.values(), "the console was taken: %r" % r.err)
    check("vellum: not taken: /dev/ttyS0 (system console)" in r.err, "stderr %r" % r.err)
    com_of = {path: n for n, path in taken.items()}
    for path, found in (("/dev/ttyS1", UART_FOUND), ("/dev/ttyUSB0", ADAPTER_FOUND)):
        check(path in com_of, "%s not taken: %r" % (path, r.err))
        check("COM%s: %s" % (com_of[path], found) in r.out, "%s: stdout %r" % (path, r.out))
    check("COM%s = /dev/ttyUSB0 (%s), USB adapter" % (com_of["/dev/ttyUSB0"], link) in r.err,
          "the adapter's by-id name: %r" % r.err)
    written = guest.console_log()[before:]
    check(PROBE_BYTES[1:3] not in written, "probe bytes on the console: %r" % written)


def test_list_ports_names_them_from_udev(guest):
    link = guest.adapter_link()
    r = guest.run([vellum, "--list-ports"], timeout=60)
    check(r.status == 0, "--list-ports status %s; %r" % (r.status, r.err))
    lines = r.out.splitlines()
    want = [  # how a line starts, and what else it says (the latency words sit between)
        ("/dev/ttyS0: built-in UART,", "system console,"),
        ("/dev/ttyS1: built-in UART,", "receive trigger 8 bytes (a packet up to 8.0 ms late"),
        ("/dev/ttyS2: built-in UART,", ""),
        ('/dev/ttyUSB0 (%s): USB adapter, 0403:6001 "QEMU" "QEMU USB SERIAL", driver ftdi_sio,'
         % link, "latency timer 0 ms"),  # QEMU's FT232 answers 0
    ]
    for start, says in want:
        check(any(line.startswith(start) and says in line for line in lines),
              "no %r ... %r in %r" % (start, says, r.out))
    check(sum("system console" in line for line in lines) == 1, "consoles: %r" % r.out)
    check(not any("ttyS3" in line for line in lines), "a node with no UART listed: %r" % r.out)


def test_monitor_stats_on_the_uart(guest):
    """The 8250 driver counts line errors (TIOCGICOUNT), so the figure is a number. A tablet
    sending continuously fills the line: 124.7 packets a second for 7-byte packets. Under
    emulation on a busy machine the guest stalls now and then and catches up after: seconds
    come out short and long, so the test asks for one whole second at the ceiling and an
    average close to it."""
    m = start_monitor(guest, ["--stats"] + ports(com1="/dev/ttyS1"), "monitor-uart",
                      UART_FOUND)
    for _ in range(80):
        if len(re.findall(r"^[\d.]+/s of", m.output()[1], re.M)) >= 6:
            break
        m.wait(0.25)
    m.signal(signal.SIGINT)
    check(m.wait(10) == 0, "monitor status %s" % m.status)
    out, err = m.output()
    seconds = re.findall(r"^([\d.]+)/s of ([\d.]+) · .* · line errors (\S+)$", err, re.M)
    check(len(seconds) >= 6, "figures lines: %r" % err)
    check(all(ceiling == "124.7" for _, ceiling, _ in seconds), "ceiling: %r" % err)
    check(any(abs(float(rate) - 124.7) <= 2.0 for rate, _, _ in seconds[1:]),
          "no second at the ceiling: %r" % err)
    check(all(errors.isdigit() for _, _, errors in seconds), "line errors: %r" % err)
    summary = re.search(r"^Summary: (\d+) packets .* \(([\d.]+)/s\) .* line errors (\S+) ",
                        err, re.M)
    check(summary and summary.group(3).isdigit(), "summary: %r" % err)
    check(float(summary.group(2)) >= 0.9 * 124.7, "average rate: %r" % err)
    check(int(summary.group(1)) == len(out.splitlines()), "summary against %d lines: %r"
          % (len(out.splitlines()), err))


def test_monitor_adapter_pulled_mid_stream(guest):
    link = guest.adapter_link()
    m = start_monitor(guest, ports(com1=link), "monitor-adapter", ADAPTER_FOUND)
    for _ in range(60):
        if len(m.output()[0].splitlines()) >= 50:
            break
        m.wait(0.5)
    check(m.status is None, "the monitor ended before the pull: %r" % (m.output(),))
    guest.unplug_adapter()
    status = m.wait(15)
    check(status is not None, "the monitor still runs after the adapter was pulled")
    out, err = m.output()
    # The node is gone with the adapter: the lost-tablet line names the port and says so.
    check(re.search(r"^Tablet on COM1 \(%s\) lost: unplugged" % re.escape(link),
                    err, re.M), "no word of the pulled adapter: %r" % err)
    check(status == 1, "the monitor ended with status %s after the pull" % status)
    check("Summary: " in err, "no summary: %r" % err)
    r = guest.run("ls /dev/ttyUSB0 /dev/serial/by-id 2>&1")
    check("No such file" in r.out, "the adapter is still there: %r" % r.out)


if __name__ == "__main__":
    vm.run_tests(globals(), uart=UART, adapter=ADAPTER)
