"""`vellum --record FILE` in the window: the recording is complete after F4, after the window
manager's close, after SIGTERM and SIGINT, and, a second later, after a hang-up while the window
stays open; it plays back through `vellum-tablet --replay` into `vellum --monitor` with the
packets it recorded. A start without a tablet leaves an existing file as it was; a failed write
is told and ends the program with status 1."""

import os
import signal
import subprocess
import tempfile
import time

import e2e
from e2e import Session, fail

vellum, tablet = e2e.programs()
tmp = tempfile.mkdtemp(prefix="vellum-e2e-capture-")
PACKETS = 60


def check(condition, message):
    if not condition:
        fail(message)


def script():
    path = os.path.join(tmp, "stroke.txt")
    with open(path, "w") as f:
        f.write("stroke 1 500 500 4500 3000 %d 0 511\n" % PACKETS)
    return path


def read_capture(path):
    """The header as a dict and the reader's bytes, checking every line as the format says."""
    with open(path, "rb") as f:
        text = f.read().decode("ascii")
    check(text.endswith("\n"), "%s does not end with a whole line" % path)
    lines = text.split("\n")[:-1]
    check(lines and lines[0] == "vellum-capture 1", "first line %r" % lines[:1])
    end = lines.index("---")
    header = dict(line.split(": ", 1) for line in lines[1:end])
    data, last = [], 0
    for line in lines[end + 1:]:
        fields = line.split(" ")
        us = int(fields[0])
        check(us >= last, "time goes back at %r" % line)
        last = us
        data += [int(b, 16) for b in fields[1:]]
    return header, data


def packets_in(data, length=7):
    """Packets the reader would find, as (code, x, y)."""
    found, packet = [], []
    for b in data:
        if b == 0x80:
            continue
        if b & 0x80:
            packet = [b] if (b & 0xF8) == 0x98 else []
        elif packet:
            packet.append(b)
            if len(packet) == length:
                found.append((packet[0] & 7, packet[1] | packet[2] << 7, packet[3] | packet[4] << 7))
                packet = []
    return found


def recorded_session(capture, *tablet_extra):
    return Session(vellum, tablet,
                   emulator_args=["--model", "7", "--range", "5000", "3750", "--script", script(),
                                  "--once"] + list(tablet_extra),
                   vellum_args=["--record", capture])


def test_f4_leaves_a_complete_recording():
    capture = os.path.join(tmp, "f4.txt")
    with recorded_session(capture) as s:
        s.start()
        time.sleep(1.5)  # the stroke takes half a second
        s.key("F4")
        check(s.wait_exit(2.0) == 0, "F4 exit status")
    header, data = read_capture(capture)
    check(header.get("port") == "1" and header.get("packet-length") == "7", "header %r" % header)
    check(header.get("range-x") == "5000" and header.get("range-y") == "3750", "header %r" % header)
    check(len(packets_in(data)) == PACKETS, "%d packets recorded" % len(packets_in(data)))


def test_f4_before_the_first_flush():
    # Well within the first second of streaming: only the flush on F4 can have written anything.
    capture = os.path.join(tmp, "f4-early.txt")
    with recorded_session(capture) as s:
        s.start()
        time.sleep(0.3)
        s.key("F4")
        check(s.wait_exit(2.0) == 0, "F4 exit status")
    _, data = read_capture(capture)
    check(len(packets_in(data)) > 0, "nothing recorded before an early F4")


def test_window_manager_close_leaves_a_complete_recording():
    capture = os.path.join(tmp, "close.txt")
    with recorded_session(capture) as s:
        s.start()
        time.sleep(1.5)
        s.key("alt+F4")
        check(s.wait_exit(3.0) == 0, "close by the window manager")
    _, data = read_capture(capture)
    check(len(packets_in(data)) == PACKETS, "%d packets recorded" % len(packets_in(data)))


def test_stop_signals_leave_a_complete_recording():
    # Well within the first second of streaming, as for F4: only the close can have written it.
    for sig in (signal.SIGTERM, signal.SIGINT):
        capture = os.path.join(tmp, "signal-%d.txt" % sig)
        with recorded_session(capture) as s:
            s.start()
            time.sleep(0.3)
            s.vellum.send_signal(sig)
            check(s.wait_exit(3.0) == 0, "%s: exit status %s" % (sig.name, s.vellum.poll()))
        header, data = read_capture(capture)
        check(header.get("port") == "1", "%s: header %r" % (sig.name, header))
        check(len(packets_in(data)) > 0, "%s: nothing recorded" % sig.name)


def test_no_tablet_leaves_an_existing_file_untouched():
    capture = os.path.join(tmp, "precious.txt")
    with open(capture, "w") as f:
        f.write("an earlier recording\n")
    missing = os.path.join(tmp, "never-made.txt")
    for path in (capture, missing):
        with Session(vellum, tablet, emulator_args=None, vellum_args=["--record", path]) as s:
            s.start(wait_for_window=False)
            box = s.wait_window()  # the no-tablet message
            s.run(["xdotool", "windowactivate", "--sync", box])
            s.key("Return")
            check(s.wait_exit(3.0) == 0, "no tablet: exit status %s" % s.vellum.poll())
    with open(capture) as f:
        check(f.read() == "an earlier recording\n", "the existing file was changed")
    check(not os.path.exists(missing), "a capture file was made without a tablet")


def status_pane_ink(s, win, shot):
    """Dark pixels in the status pane (the bottom 20 rows of the window's client area), left of
    the line figures' pane at the right (under 460 pixels wide at 1024)."""
    x, y, w, h = s.geometry(win)
    dark = 0
    for yy in range(y + h - 20, y + h):
        for xx in range(x, x + min(w - 460, 700)):
            p = shot.pixel(xx, yy)
            dark += p is not None and max(p) < 100
    return dark


def test_write_failure_is_told_and_ends_with_status_1():
    with recorded_session("/dev/full") as s:
        s.start()
        time.sleep(0.3)
        check(status_pane_ink(s, s.window, s.screenshot()) == 0, "the status pane is not empty")
        time.sleep(1.5)  # the first write goes out within a second
        _, err = s.vellum_output()
        check("vellum: recording /dev/full failed: write: " in err, "stderr %r" % err)
        check(err.count("recording /dev/full failed") == 1, "told more than once: %r" % err)
        check(status_pane_ink(s, s.window, s.screenshot()) > 50, "nothing in the status pane")
        s.key("F1")  # a repaint keeps the notice
        time.sleep(0.3)
        check(status_pane_ink(s, s.window, s.screenshot()) > 50, "the notice went on F1")
        s.key("F4")
        check(s.wait_exit(3.0) == 1, "F4 after a failed recording: status %s" % s.vellum.poll())


def test_hang_up_is_on_disk_within_a_second_and_replays():
    capture = os.path.join(tmp, "hangup.txt")
    with recorded_session(capture, "--hang-up-after", str(PACKETS)) as s:
        s.start()
        time.sleep(0.6 + 1.5)  # the stroke, then more than the 1 s flush
        check(s.vellum.poll() is None, "vellum ended after the hang-up")
        _, data = read_capture(capture)  # the window is still open
        recorded = packets_in(data)
        check(len(recorded) == PACKETS, "%d packets on disk after the hang-up" % len(recorded))
        s.key("F4")
        check(s.wait_exit(2.0) == 0, "F4 after the hang-up")

    replay = subprocess.Popen([tablet, "--replay", capture], stdout=subprocess.PIPE, text=True)
    try:
        pty = replay.stdout.readline().strip()
        ports = []
        for n in range(1, 5):
            ports += ["--port", "%d=%s" % (n, pty if n == 1 else "/nonexistent/vellum-e2e-tty%d" % n)]
        r = subprocess.run([vellum, "--monitor"] + ports, capture_output=True, text=True, timeout=30)
    finally:
        replay.terminate()
        replay.wait()
    # The replay's hang-up after its last packet ends the monitor: its tablet is lost.
    check(r.returncode == 1, "monitor status %s: %s" % (r.returncode, r.stderr))
    shown = [tuple(int(v) for v in line.split()[1:4]) for line in r.stdout.splitlines()]
    check(shown == recorded, "replayed %d packets, recorded %d" % (len(shown), len(recorded)))


if __name__ == "__main__":
    e2e.run_tests(globals())
