"""vellum --monitor --stats against vellum-tablet's line faults: the figures on stderr once a
second and the summary line at the end, as the faults make them."""

import os
import re
import signal
import subprocess
import sys
import tempfile
import time

import e2e

vellum, tablet = e2e.programs()
tmp = tempfile.mkdtemp(prefix="vellum-line-")
DOT = " \u00b7 "
FIGURES = re.compile(r"^(-|\d+(?:\.\d)?)/s of 124\.7 · jitter (-|\d+\.\d\d ms) · noise (-|moving|"
                     r"(\d+\.\d) x (\d+\.\d)) · garbled (\d+) · line errors n/a$")
SUMMARY = re.compile(r"^Summary: (\d+) packets in (\d+\.\d\d) s \((\d+\.\d)/s\) · garbled (\d+) · "
                     r"line errors n/a · noise (.*)$")


def check(condition, message):
    if not condition:
        e2e.fail(message)


def monitor(script, emulator_args, seconds):
    """stderr lines of a monitor run of `seconds` against the emulator playing `script`."""
    path = os.path.join(tmp, "script.txt")
    with open(path, "w") as f:
        f.write(script)
    emu = subprocess.Popen([tablet, "--script", path] + emulator_args, stdout=subprocess.PIPE,
                           text=True)
    try:
        pty = emu.stdout.readline().strip()
        ports = ["--port", "1=" + pty] + sum((["--port", "%d=/nonexistent/vellum-e2e-tty%d" % (n, n)]
                                              for n in range(2, 5)), [])
        mon = subprocess.Popen([vellum, "--monitor", "--stats"] + ports, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, text=True)
        time.sleep(seconds)
        mon.send_signal(signal.SIGINT)
        _, err = mon.communicate(timeout=10)
        check(mon.returncode == 0, "monitor status %s: %r" % (mon.returncode, err))
    finally:
        emu.terminate()
        emu.wait()
    lines = err.splitlines()
    check(lines and lines[0].startswith("Tablet found on COM1"), "detection: %r" % err)
    figures = [FIGURES.match(l) for l in lines[1:-1]]
    check(all(figures) and len(figures) >= int(seconds) - 1, "once a second: %r" % err)
    summary = SUMMARY.match(lines[-1])
    check(summary, "summary last: %r" % err)
    return figures, summary, err


def test_noise_stray_bytes_and_half_the_rate():
    # 5 packets in 71 byte times (each packet 7 on the line and 7 idle, a stray byte after every
    # 5th): 61.5/s. Noise up to 2 counts either way: a deviation of sqrt(2) on each axis.
    figures, summary, err = monitor("packet 0 1000 700\nrest 0 1000 700 0 5000\n",
                                    ["--rest-noise", "2", "--garbage-every", "5",
                                     "--rate-fraction", "0.5"], 3.5)
    last = figures[-1]
    check(abs(float(last.group(1)) - 61.46) < 61.46 * 0.03, "rate: %r" % err)
    check(0.9 < float(last.group(4)) < 1.9 and 0.9 < float(last.group(5)) < 1.9, "noise: %r" % err)
    packets, garbled = int(summary.group(1)), int(summary.group(4))
    check(abs(garbled - packets // 5) <= 1, "garbled %d of %d packets: %r" % (garbled, packets, err))


def test_dropped_packets_then_a_quiet_line():
    # Every 10th packet left out: 0.9 of 124.7. Then three seconds without a packet read 0/s
    # with no noise, though the reader sleeps all that time.
    figures, summary, err = monitor("rest 0 1000 700 0 300\ngap 3000\n", ["--drop-share", "0.1"],
                                    5.5)
    rates = [f.group(1) for f in figures]
    busy = [float(r) for r in rates if r not in ("-", "0")]
    check(busy and all(abs(r - 112.2) < 112.2 * 0.03 for r in busy), "rates: %r" % err)
    quiet = [f for f in figures if f.group(1) == "0"]
    check(quiet and all(f.group(2) == "-" and f.group(3) == "-" for f in quiet), "quiet: %r" % err)
    check(summary.group(4) == "0", "no stray bytes: %r" % err)


if __name__ == "__main__":
    e2e.run_tests(globals())
