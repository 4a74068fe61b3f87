"""vellum --monitor --stats against vellum-tablet's line faults: the figures on stderr once a
second and the summary line at the end, as the faults make them."""

import os
import re
import signal
import subprocess
import time

import e2e

vellum, tablet = e2e.programs()
FIGURES = re.compile(r"^(-|\d+(?:\.\d)?)/s of 124\.7 · jitter (-|\d+\.\d\d ms) · noise (-|moving|"
                     r"(\d+\.\d) x (\d+\.\d)) · garbled (\d+) · line errors n/a$")
SUMMARY = re.compile(r"^Summary: (\d+) packets in (\d+\.\d\d) s \((\d+\.\d)/s\) · garbled (\d+) · "
                     r"line errors n/a · noise (.*)$")


def check(condition, message):
    if not condition:
        e2e.fail(message)


def monitor(script, emulator_args, seconds):
    """The figures and the summary of a monitor run of `seconds` against `script`, and stderr."""
    with e2e.Session(vellum, tablet) as s:
        s.emulator_args = ["--script", os.path.join(s.tmp, "script.txt")] + emulator_args
        with open(s.emulator_args[1], "w") as f:
            f.write(script)
        s.start_emulator()
        mon = subprocess.Popen([vellum, "--monitor", "--stats"] + s.port_args(),
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        time.sleep(seconds)
        mon.send_signal(signal.SIGINT)
        _, err = mon.communicate(timeout=10)
    check(mon.returncode == 0, "monitor status %s: %r" % (mon.returncode, err))
    lines = err.splitlines()
    check(lines and lines[0].startswith("Tablet found on COM1"), "detection: %r" % err)
    figures = [FIGURES.match(l) for l in lines[1:-1]]
    check(all(figures) and len(figures) >= int(seconds) - 1, "once a second: %r" % err)
    check(SUMMARY.match(lines[-1]), "summary last: %r" % err)
    return figures, SUMMARY.match(lines[-1]), err


# Script, faults, seconds watched, the rate of every busy second (within 3 %), the noise of the
# last one, a stray byte after every Nth packet (0: none), whether quiet seconds follow.
RUNS = [
    # 5 packets in 71 byte times (each 7 on the line and 7 idle, a stray byte after every 5th):
    # 61.5/s. Noise up to 2 counts either way: a deviation of sqrt(2) on each axis.
    ("packet 0 1000 700\nrest 0 1000 700 0 5000\n",
     ["--rest-noise", "2", "--garbage-every", "5", "--rate-fraction", "0.5"], 3.5, 61.46, (0.9, 1.9),
     5, False),
    # Every 10th packet left out: 0.9 of 124.7. Then three seconds without a packet read 0/s with
    # no noise, though the reader sleeps all that time.
    ("rest 0 1000 700 0 300\ngap 3000\n", ["--drop-share", "0.1"], 5.5, 112.2, (0, 0.1), 0, True),
]


def test_line_faults_as_the_figures_show_them():
    for script, args, seconds, rate, noise, every, quiet_after in RUNS:
        figures, summary, err = monitor(script, args, seconds)
        busy = [f for f in figures if f.group(1) not in ("-", "0")]
        check(busy and all(abs(float(f.group(1)) - rate) < rate * 0.03 for f in busy),
              "rates: %r" % err)
        check(all(noise[0] <= float(busy[-1].group(g)) < noise[1] for g in (4, 5)), "noise: %r" % err)
        quiet = [f for f in figures if f.group(1) == "0"]
        check(bool(quiet) == quiet_after and all(f.group(2) == f.group(3) == "-" for f in quiet),
              "quiet: %r" % err)
        packets, garbled = int(summary.group(1)), int(summary.group(4))
        check(abs(garbled - (packets // every if every else 0)) <= min(every, 1),
              "garbled %d of %d packets: %r" % (garbled, packets, err))


if __name__ == "__main__":
    e2e.run_tests(globals())
