#!/usr/bin/env python3
"""The real kernel's share of the latency: in the QEMU guest of tests/vm, a tablet resting on
the 8250 UART (ttyS1) at the line rate, read by `vellum --monitor --stats`: once with the
receive FIFO as booted (run as a user who may not change it) and once with Vellum's low-latency
setting (run as root, which sets rx_trig_bytes to 1). Prints "key value" lines:

    vm_uart_booted_p50_us, _p99_us   last byte -> packet handled, above the quickest packets
    vm_uart_low_p50_us, _p99_us      the same with the trigger at 1 byte
    vm_uart_booted_jitter_ms, vm_uart_low_jitter_ms   the median of --stats' jitter figures

The tablet sends its packets back to back, so how late each was handled is its distance above
the line through the quickest ones (tests/vm/arrivals.py). Where QEMU cannot run, says why on
stderr and prints nothing. Arguments: vellum, vellum-tablet.
"""

import os
import re
import shutil
import signal
import statistics
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "vm"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import vm  # noqa: E402
from arrivals import added_delays_us, monitor_times_us, percentile, split_at_gaps  # noqa: E402

PACKETS = 1200  # ten seconds at the line rate
# A packet is 8.02 ms on the line, and a FIFO as booted holds one back by up to 7 characters
# (8.02 ms): a longer gap between two packets means packets were lost (an overrun while the
# guest stalled), and the count starts again after it.
LONGEST_GAP_US = 18000
REST = "rest 1 2500 1875 2 100000 300\n"


def emit(key, value):
    print("%s %.3f" % (key, value), flush=True)


def measure(guest, vellum, label, user):
    argv = [vellum, "--monitor", "--stats", "--port", "1=/dev/ttyS1"]
    for n in range(2, 5):
        argv += ["--port", "%d=/nonexistent/vm-bench-tty%d" % (n, n)]
    if user:
        gid = guest.run("getent group dialout | cut -d: -f3").out.strip()
        argv = ["setpriv", "--reuid=65534", "--regid=" + gid, "--clear-groups"] + argv
    # The probe waits a fixed 50 ms for each answer; an emulated guest on a busy host can stall
    # longer: up to three starts.
    for attempt in range(3):
        m = guest.spawn(argv, "bench-" + label)
        for _ in range(600):
            out, err = m.output()
            if len(out.splitlines()) >= PACKETS + 100 or "not  found" in err:
                break
            m.wait(0.1)
        m.signal(signal.SIGINT)
        m.wait(20)
        out, err = m.output()
        if "not  found" not in err:
            break
    # The first hundred packets go while the guest settles after the start.
    times = monitor_times_us(out)[100:PACKETS + 100]
    if len(times) < PACKETS // 2:
        raise vm.GuestError("%s: only %d packets: %r" % (label, len(times), err[-500:]))
    delays = []
    for run in split_at_gaps(times, LONGEST_GAP_US):
        if len(run) >= 50:
            delays += added_delays_us(run)
    emit("vm_uart_%s_p50_us" % label, percentile(delays, 0.5))
    emit("vm_uart_%s_p99_us" % label, percentile(delays, 0.99))
    jitter = [float(v) for v in re.findall(r"· jitter ([\d.]+) ms ·", err)][1:]
    if jitter:
        emit("vm_uart_%s_jitter_ms" % label, statistics.median(jitter))


def main():
    vellum, tablet = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    work = os.environ.get("VELLUM_VM_WORK") or os.path.join(os.path.dirname(vellum), "..", "tests", "vm")
    os.makedirs(work, exist_ok=True)
    folder = tempfile.mkdtemp(prefix="bench-", dir=work)
    try:
        script = os.path.join(folder, "rest.script")
        with open(script, "w") as f:
            f.write(REST)
        with vm.Guest(tablet, uart=["--script", script], workdir=folder) as guest:
            guest.boot()
            measure(guest, vellum, "booted", user=True)
            measure(guest, vellum, "low", user=False)
    except vm.Unavailable as e:
        print("bench_vm: the guest cannot run here: %s" % e, file=sys.stderr)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
