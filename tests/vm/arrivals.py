"""How late packets reached the program, from when it handled them alone: the tablet sends them
back to back at a fixed period, so packet k left at t0 + k * period on the tablet's clock, and
the program handled it at that time plus some delay. The quickest packets lie on a line below
all others (the two clocks need not agree on the period, so its slope is found too): the lower
convex hull of the (k, time) points, taken at the middle packet. Each packet's height above it
is how much later than the quickest packets it was handled.

    delays = added_delays_us(times_us)     # times of consecutive packets, none dropped
    percentile(delays, 0.99)

A packet lost on the way (an overrun while the guest stalled) breaks the count; split_at_gaps()
cuts the times where a gap is longer than any delay could make it, and each piece is measured on
its own.
"""

__all__ = ["added_delays_us", "split_at_gaps", "percentile", "monitor_times_us"]


def _lower_hull(points):
    """Andrew's monotone chain: the points of the lower convex hull, left to right."""
    hull = []
    for p in points:
        while len(hull) >= 2:
            (k1, t1), (k2, t2) = hull[-2], hull[-1]
            # Drop the middle point when it lies on or above the segment from hull[-2] to p.
            if (k2 - k1) * (p[1] - t1) - (t2 - t1) * (p[0] - k1) <= 0:
                hull.pop()
            else:
                break
        hull.append(p)
    return hull


def added_delays_us(times_us):
    n = len(times_us)
    if n < 3:
        raise ValueError("need three packets or more, got %d" % n)
    points = list(enumerate(times_us))
    hull = _lower_hull(points)
    middle = (n - 1) / 2.0
    for (k1, t1), (k2, t2) in zip(hull, hull[1:]):
        if k1 <= middle <= k2:
            break
    slope = (t2 - t1) / float(k2 - k1)
    return [t - (t1 + slope * (k - k1)) for k, t in points]


def split_at_gaps(times_us, longest_us):
    """The runs of times between gaps longer than longest_us."""
    runs, run = [], []
    for t in times_us:
        if run and t - run[-1] > longest_us:
            runs.append(run)
            run = []
        run.append(t)
    if run:
        runs.append(run)
    return runs


def percentile(values, q):
    """The value at fraction q (0 to 1) of the sorted values, nearest rank."""
    ordered = sorted(values)
    if not ordered:
        raise ValueError("no values")
    return ordered[min(len(ordered) - 1, int(q * (len(ordered) - 1) + 0.5))]


def monitor_times_us(stdout):
    """The first field of each `vellum --monitor` line: microseconds from the first read to the
    read that completed the packet."""
    return [int(line.split()[0]) for line in stdout.splitlines() if line.strip()]
