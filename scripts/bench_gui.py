#!/usr/bin/env python3
"""The performance table's measurements of the real program: vellum under Xvfb + openbox
(1920x1080) against vellum-tablet on COM1, the other ports absent. Prints "key value" lines:

    first_frame_ms      exec to the first frame on the screen (median of 5 start-ups)
    pointer_WxH_p50_us, _p99_us, _max_us   last byte written -> pointer seen at the packet's
                        place by another X client (bench_pointer), 400 packets at the line
                        rate, at 1024x768 and 1920x1080
    trace_WxH_p50_us, _p99_us, _max_us     last byte written -> the trace's pixel at the
                        packet's place on the X server (bench_trace), 400 packets in rows at the
                        line rate, at both sizes
    gui_cpu_idle_pct    the reader thread's CPU with the tablet quiet (its scheduler time from
                        /proc/PID/task/TID/schedstat over 15 s, 2 s after the first frame),
                        percent of one core
    gui_process_cpu_idle_pct   the whole process over the same 15 s
    gui_wakeups_idle_per_s     context switches of all its threads over those 15 s
                        (voluntary + involuntary, /proc/PID/task/*/status), a second
    gui_cpu_line_pct    the same while the tablet streams its show at the line rate
    gui_process_cpu_line_pct   the whole process at the line rate (UI thread included)
    gui_process_cpu_line_1024x768_pct   the same at 1024x768
    gui_peak_mib        peak resident memory (VmHWM) after start-up and 5 s at the line rate

Arguments: vellum, vellum-tablet, bench_first_frame, bench_pointer, bench_trace.
"""

import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from e2e import Session  # noqa: E402

vellum, tablet, first_frame, pointer, trace = sys.argv[1:6]
POINTER_SCREENS = [(1024, 768), (1920, 1080)]
POINTER_PACKETS = 400
SCREEN = (1920, 1080)
WINDOW_S = 5.0
IDLE_WINDOW_S = 15.0  # a few hundredths of a percent need a long look


def emit(key, value):
    print("%s %.3f" % (key, value), flush=True)


def cpu_ns(pid, tid):
    with open("/proc/%d/task/%d/schedstat" % (pid, tid)) as f:
        return int(f.read().split()[0])


def process_cpu_ns(pid):
    return sum(cpu_ns(pid, int(t)) for t in os.listdir("/proc/%d/task" % pid))


def reader_tid(pid):
    """The reader is the one thread besides the main one that keeps the process's own name
    (Qt names its threads)."""
    with open("/proc/%d/comm" % pid) as f:
        name = f.read().strip()
    for t in sorted(os.listdir("/proc/%d/task" % pid), key=int):
        tid = int(t)
        with open("/proc/%d/task/%d/comm" % (pid, tid)) as f:
            if tid != pid and f.read().strip() == name:
                return tid
    names = [open("/proc/%d/task/%s/comm" % (pid, t)).read().strip()
             for t in os.listdir("/proc/%d/task" % pid)]
    raise RuntimeError("no reader thread in %d: %s" % (pid, names))


def switches(pid):
    """Context switches of every thread of the process so far: each is a wake-up or a
    preemption."""
    n = 0
    for t in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/status" % (pid, t)) as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        n += int(line.split()[1])
        except OSError:
            pass  # a thread that ended meanwhile
    return n


def idle_figures(pid, tid, seconds):
    """(reader %, process %, wake-ups a second) over `seconds` of a quiet tablet."""
    c0, p0, w0, t0 = cpu_ns(pid, tid), process_cpu_ns(pid), switches(pid), time.monotonic()
    time.sleep(seconds)
    wall = time.monotonic() - t0
    return (100.0 * (cpu_ns(pid, tid) - c0) / (wall * 1e9),
            100.0 * (process_cpu_ns(pid) - p0) / (wall * 1e9),
            (switches(pid) - w0) / wall)


def thread_pct(pid, tid, seconds):
    c0, t0 = cpu_ns(pid, tid), time.monotonic()
    time.sleep(seconds)
    return 100.0 * (cpu_ns(pid, tid) - c0) / ((time.monotonic() - t0) * 1e9)


def peak_mib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024.0
    return -1


def start_with_frame_watch(s):
    """vellum through bench_first_frame: (first frame ms, vellum's pid, the watcher)."""
    watcher = subprocess.Popen([first_frame, vellum] + s.port_args(), env=s._env(),
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    fields = {}
    for _ in range(2):
        key, value = watcher.stdout.readline().split()
        fields[key] = float(value)
    return fields["first_frame_ms"], int(fields["pid"]), watcher


def latency_to_the_screen():
    """bench_pointer and bench_trace under their own X server at each size; each runs vellum
    itself."""
    for w, h in POINTER_SCREENS:
        with Session(vellum, tablet, emulator_args=None, screen=(w, h)) as s:
            s.start_x()
            for bench in (pointer, trace):
                r = subprocess.run([bench, "%dx%d" % (w, h), str(POINTER_PACKETS), vellum],
                                   env=s._env(), stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, text=True, timeout=120)
                sys.stdout.write(r.stdout)
                sys.stdout.flush()


def line_rate_cpu(screen):
    """(reader %, process %, peak MiB) over WINDOW_S of the built-in show at the line rate."""
    with Session(vellum, tablet, emulator_args=["--model", "7"], screen=screen) as s:
        s.start()
        time.sleep(1.0)
        pid = s.vellum.pid
        tid = reader_tid(pid)
        p0, c0, t0 = process_cpu_ns(pid), cpu_ns(pid, tid), time.monotonic()
        time.sleep(WINDOW_S)
        wall = (time.monotonic() - t0) * 1e9
        figures = (100.0 * (cpu_ns(pid, tid) - c0) / wall, 100.0 * (process_cpu_ns(pid) - p0) / wall,
                   peak_mib(pid))
        s.key("F4")
        s.wait_exit(5)
        return figures


def main():
    latency_to_the_screen()
    tmp = tempfile.mkdtemp(prefix="vellum-bench-")
    quiet = os.path.join(tmp, "quiet.txt")
    with open(quiet, "w") as f:
        f.write("# no packets: the tablet only answers the probe\n")

    with Session(vellum, tablet, emulator_args=["--script", quiet], screen=SCREEN) as s:
        s.start_x()
        frames = []
        for run in range(5):
            s.kill_emulator()
            s.start_emulator()
            ms, pid, watcher = start_with_frame_watch(s)
            frames.append(ms)
            if run == 4:
                time.sleep(2.0)
                reader, process, wakeups = idle_figures(pid, reader_tid(pid), IDLE_WINDOW_S)
                emit("gui_cpu_idle_pct", reader)
                emit("gui_process_cpu_idle_pct", process)
                emit("gui_wakeups_idle_per_s", wakeups)
            os.kill(pid, signal.SIGTERM)
            watcher.wait(10)
        emit("first_frame_ms", statistics.median(frames))

    reader, process, peak = line_rate_cpu(SCREEN)
    emit("gui_cpu_line_pct", reader)
    emit("gui_process_cpu_line_pct", process)
    emit("gui_peak_mib", peak)
    _, process, _ = line_rate_cpu((1024, 768))
    emit("gui_process_cpu_line_1024x768_pct", process)


if __name__ == "__main__":
    main()
