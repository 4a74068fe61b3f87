"""The delay arithmetic of the latency checks and benchmark, without a guest."""

import sys

from arrivals import added_delays_us, monitor_times_us, percentile, split_at_gaps

PERIOD = 8020.8  # a 7-byte packet at 9600 baud 8O1, in microseconds


def check(condition, message):
    if not condition:
        print("FAIL: " + message, file=sys.stderr)
        sys.exit(1)


def main():
    # (what, the delay each packet had). A FIFO that interrupts at 8 bytes hands packet k over
    # with the byte that makes a multiple of eight: up to seven character times late, a pattern
    # that repeats every eight packets.
    char = 1145.8
    cases = [
        ("none", [0.0] * 200),
        ("constant", [3000.0] * 200),
        ("trigger 8", [(-(7 * k + 7) % 8) * char for k in range(200)]),
        ("one late", [0.0] * 100 + [7000.0] + [0.0] * 99),
        ("a late start", [6000.0] * 5 + [0.0] * 195),
    ]
    for clock in (1.0, 1.0004):  # the program's clock may run a little fast
        for what, delays in cases:
            times = [int(clock * (5000 + k * PERIOD + d)) for k, d in enumerate(delays)]
            got = added_delays_us(times)
            low = min(delays)
            worst = max(abs(g - clock * (d - low)) for g, d in zip(got, delays))
            check(worst < 2, "%s, clock %g: off by %.0f us" % (what, clock, worst))
    # An overrun loses a FIFO's worth: two packets or more, a gap no delay makes.
    times = [k * 8000 for k in range(10)] + [k * 8000 for k in range(12, 20)]
    check([len(r) for r in split_at_gaps(times, 18000)] == [10, 8], "split at a gap")
    check(split_at_gaps([0, 16000, 32000], 18000) == [[0, 16000, 32000]], "no gap")
    check(percentile([5, 1, 4, 2, 3], 0.5) == 3, "median")
    check(percentile([5, 1, 4, 2, 3], 1.0) == 5, "max")
    check(monitor_times_us("0 1 2 3 4\n8021 1 2 3 4\n\n") == [0, 8021], "monitor lines")
    print("ok arrivals")


if __name__ == "__main__":
    main()
