#!/usr/bin/env python3
"""Prints the performance table from the "key value" lines of bench_table and bench_gui.py
(read from the files given, or standard input), with the machine it ran on."""

import os
import platform
import subprocess
import sys


def machine():
    model = "unknown CPU"
    try:
        out = subprocess.run(["lscpu"], capture_output=True, text=True).stdout
        for line in out.splitlines():
            if line.startswith("Model name:"):
                model = line.split(":", 1)[1].strip()
    except OSError:
        pass
    mem = 0
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                mem = int(line.split()[1]) / 1024 / 1024
    return "%s, %d cores, %.1f GiB, Linux %s" % (model, os.cpu_count(), mem, platform.release())


def read(paths):
    values = {}
    streams = [open(p) for p in paths] if paths else [sys.stdin]
    for f in streams:
        for line in f:
            parts = line.split()
            if len(parts) == 2:
                try:
                    values[parts[0]] = float(parts[1])
                except ValueError:
                    pass
    return values


def main():
    v = read(sys.argv[1:])

    def get(key):
        return v.get(key)

    def ms(key):
        x = get(key)
        return "missing" if x is None else ("%.2f ms" % x if x < 10 else "%.0f ms" % x)

    def us(key):
        x = get(key)
        return "missing" if x is None else ("%.1f µs" % x if x < 1000 else "%.2f ms" % (x / 1000))

    def pct(key):
        x = get(key)
        return "missing" if x is None else "%.2f %%" % x

    def verdict(key, limit):
        x = get(key)
        return "" if x is None else ("met" if x < limit else "MISSED")

    def pointer_row(label):
        p = "pointer_%s_" % label
        figures = [get(p + q) for q in ("p50_us", "p99_us", "max_us")]
        text = ("missing" if None in figures
                else "%.2f / %.2f / %.2f ms" % tuple(f / 1000 for f in figures))
        ok = None not in figures and figures[1] < 500 and figures[2] < 2000
        return ("Last byte written to the pointer at its place, seen by another X client, "
                "%s: p50 / p99 / max" % label, text, "p99 < 0.5 ms, max < 2 ms",
                "" if None in figures else ("met" if ok else "MISSED"))

    def trace_row(label):
        p = "trace_%s_" % label
        figures = [get(p + q) for q in ("p50_us", "p99_us", "max_us")]
        text = ("missing" if None in figures
                else "%.2f / %.2f / %.2f ms" % tuple(f / 1000 for f in figures))
        return ("Last byte written to the trace's pixel on the X server, %s: p50 / p99 / max"
                % label, text, "p99 < 18.7 ms (a frame + 2 ms)",
                "" if None in figures else ("met" if figures[1] < 18700 else "MISSED"))

    def rate(key):
        x = get(key)
        return "missing" if x is None else "%.2f /s" % x

    end_to_end = [
        pointer_row("1024x768"),
        pointer_row("1920x1080"),
        trace_row("1024x768"),
        trace_row("1920x1080"),
        ("Whole process CPU, packets at the line rate, 1024x768",
         pct("gui_process_cpu_line_1024x768_pct"), "< 2.5 %",
         verdict("gui_process_cpu_line_1024x768_pct", 2.5)),
        ("Whole process CPU, packets at the line rate, 1920x1080", pct("gui_process_cpu_line_pct"),
         "< 2 %", verdict("gui_process_cpu_line_pct", 2)),
        ("Whole process CPU, tablet quiet", pct("gui_process_cpu_idle_pct"), "< 0.05 %",
         verdict("gui_process_cpu_idle_pct", 0.05)),
        ("Wake-ups of the whole process, tablet quiet", rate("gui_wakeups_idle_per_s"), "< 1 /s",
         verdict("gui_wakeups_idle_per_s", 1)),
        ("Start-up to first frame (7-byte tablet on COM1)", ms("first_frame_ms"), "", ""),
        ("Reader thread CPU, tablet quiet", pct("gui_cpu_idle_pct"), "< 0.5 %",
         verdict("gui_cpu_idle_pct", 0.5)),
        ("Reader thread CPU, packets at the line rate", pct("gui_cpu_line_pct"), "< 3 %",
         verdict("gui_cpu_line_pct", 3)),
        ("Peak memory (VmHWM)", "missing" if get("gui_peak_mib") is None
         else "%.1f MiB" % get("gui_peak_mib"), "< 120 MiB", verdict("gui_peak_mib", 120)),
    ]

    modes = ["info screen", "Linear", "Pressure", "Shake", "Keystroke"]
    rows = [
        ("Detection: 7-byte tablet on COM1, COM2-4 absent", ms("detect_tablet_com1_ms"),
         "< 400 ms", verdict("detect_tablet_com1_ms", 400)),
        ("Detection: no device on any port", ms("detect_none_ms"), "", ""),
        ("Detection: a silent device on every port", ms("detect_silent_all_ms"), "", ""),
    ]
    for m, name in enumerate(modes):
        key = "packet_m%d_p99_us" % m
        rows.append(("Reader time per packet, mode %d (%s): p50 / p99 (p99 of CPU time)"
                     % (m, name), "%s / %s (%s)" % (us("packet_m%d_p50_us" % m), us(key),
                                                    us("packet_m%d_cpu_p99_us" % m)),
                     "p99 < 200 µs" if m <= 3 else "",
                     verdict(key, 200) if m <= 3 else ""))
    tones = [("null", "ALSA's null device"), ("none", "no sound device"),
             ("paced", "a device paced like a sound card")]
    for key, name in tones:
        p = "tone_%s_" % key
        figures = [get(p + q) for q in ("p50_ms", "p99_ms", "max_ms")]
        rows.append(("Tone call, 5 ms beep every 8 ms, %s: p50 / p99 / max" % name,
                     "missing" if None in figures else "%.2f / %.2f / %.2f ms" % tuple(figures),
                     "p99 < 6 ms", verdict(p + "p99_ms", 6)))
    rows += [
        ("Last byte written to handled by the reader (no pointer, no screen), at the line "
         "rate: p50 / p99", "%s / %s" % (us("latency_p50_us"), us("latency_p99_us")),
         "p99 < 1 ms", verdict("latency_p99_us", 1000)),
    ]
    pen = [get("pen_latency_%s_us" % q) for q in ("p50", "p99", "max")]
    rows += [
        ("Last byte written to the pen tablet's frame written (`vellum --pen`; a pipe stands in "
         "for uinput), at the line rate: p50 / p99 / max",
         "missing" if None in pen else "%.1f / %.1f / %.1f µs" % tuple(pen),
         "p99 < 200 µs", verdict("pen_latency_p99_us", 200)),
        ("The pen tablet's own share: last byte read to its frame written: p50 / p99",
         "%s / %s" % (us("pen_handle_p50_us"), us("pen_handle_p99_us")), "", ""),
        ("Wake-ups of the pen tablet's reader, tablet quiet and out of proximity",
         rate("pen_idle_wakeups_per_s"), "< 1 /s", verdict("pen_idle_wakeups_per_s", 1)),
    ]
    def vm_row(label, name):
        p = "vm_uart_%s_" % label
        figures = [get(p + q) for q in ("p50_us", "p99_us")]
        jitter = get(p + "jitter_ms")
        return ("Last byte to packet handled on the 8250 UART in the VM, %s: p50 / p99 "
                "(line jitter)" % name,
                "missing" if None in figures else "%.2f / %.2f ms (%s)" % (
                    figures[0] / 1000, figures[1] / 1000,
                    "-" if jitter is None else "%.2f ms" % jitter),
                "p99 < 1 ms" if label == "low" else "",
                verdict(p + "p99_us", 1000) if label == "low" else "")

    real_kernel = [vm_row("booted", "receive FIFO as booted (8 bytes)"),
                   vm_row("low", "Vellum's setting (1 byte)")]
    ran_vm = any(k.startswith("vm_") for k in v)

    print("Machine: " + machine())
    print()
    print("The real program, as the user sees it (Xvfb + openbox):")
    print()
    print("| Measurement | Result | Target | |")
    print("|---|---|---|---|")
    for r in end_to_end:
        print("| %s | %s | %s | %s |" % r)
    print()
    print("In-process figures (parts of the program on their own, no X server):")
    print()
    print("| Measurement | Result | Target | |")
    print("|---|---|---|---|")
    for r in rows:
        print("| %s | %s | %s | %s |" % r)
    print()
    print("The real kernel (tests/vm: QEMU, the distribution kernel's 8250 driver):")
    print()
    if ran_vm:
        print("| Measurement | Result | Target | |")
        print("|---|---|---|---|")
        for r in real_kernel:
            print("| %s | %s | %s | %s |" % r)
    else:
        print("(not measured: the guest could not run here)")
    missing = [r[0] for r in end_to_end + rows + (real_kernel if ran_vm else [])
               if "missing" in r[1]]
    if missing:
        print("\nnot measured: " + "; ".join(missing), file=sys.stderr)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
