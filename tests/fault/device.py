"""A scripted serial tablet on a pty that can drop the line at any byte of its dialogue.

vellum-tablet covers the common faults; this one hangs up exactly where a test says: inside the
identification block, inside the range reply or inside a data packet.

    with Device(model=7, hang_up=("identify", 10)) as dev:   # 10 bytes of the block, then gone
        run vellum with --port 1=dev.path
        dev.wait_hung_up(5)

hang_up: None, or (where, count) with where one of
    "identify"  after `count` bytes of the 28-byte identification block
    "range"     after `count` bytes of the range reply
    "packet"    after `count` whole data packets and 3 bytes of the next one
The stream starts at the probe's closing DC1 and stops at DC3, as on a tablet.

take_after_probe: True makes another holder of the port take it (flock) as soon as the host
lets go of it after its probe, so that the host's final open of the port fails.
"""

import fcntl
import os
import select
import threading
import time
import tty

IDENTIFY_BLOCK = b"TRELVO" + bytes(range(0x30, 0x30 + 22))


def packet(buttons, x, y, pressure=0, length=7):
    out = [0x98 | buttons, x & 0x7F, (x >> 7) & 0x7F, y & 0x7F, (y >> 7) & 0x7F]
    if length == 7:
        out += [(pressure >> 2) & 0x7F, 0x04 | ((pressure >> 1) & 1) | ((pressure & 1) << 4)]
    return bytes(out)


class Device:
    def __init__(self, model=7, max_x=5000, max_y=3750, hang_up=None, packet_ms=8.0,
                 take_after_probe=False):
        self.model, self.max_x, self.max_y = model, max_x, max_y
        self.hang_up = hang_up
        self.take_after_probe = take_after_probe
        self._taken = threading.Event()
        self.packet_ms = packet_ms
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)  # the host's open sets its own modes; this keeps bytes raw until then
        self.path = os.ttyname(self.slave)
        self.received = bytearray()
        self.packets_sent = 0
        self._hung_up = threading.Event()
        self._stop = threading.Event()
        self._streaming = False
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self):
        self._stop.set()
        self._thread.join(5)
        self._drop()
        if self.slave is not None:
            os.close(self.slave)
            self.slave = None

    def hung_up(self):
        return self._hung_up.is_set()

    def wait_hung_up(self, timeout):
        return self._hung_up.wait(timeout)

    def taken(self):
        return self._taken.is_set()

    def _take(self):
        # Our own descriptor of the port: the lock waits for the host's close, then holds.
        fcntl.flock(self.slave, fcntl.LOCK_EX)
        self._taken.set()

    # ---- the tablet ----
    def _drop(self):
        if self.master is not None:
            os.close(self.master)
            self.master = None
            self._hung_up.set()

    def _send(self, data, where):
        """Sends `data`, or the part before the hang-up point when `where` is the fault's."""
        if self.hang_up and self.hang_up[0] == where and where != "packet":
            os.write(self.master, data[:self.hang_up[1]])
            time.sleep(0.02)  # let the host read what got through before the line drops
            self._drop()
            return False
        os.write(self.master, data)
        return True

    def _on_byte(self, b, previous):
        if b == 0x7E and previous == 0x7A and self.model == 7:
            return self._send(IDENTIFY_BLOCK, "identify")
        if b == 0x61:
            return self._send(packet(0, self.max_x, self.max_y, 0, self.model), "range")
        if b == 0x11:
            self._streaming = True
            if self.take_after_probe and not self._taken.is_set():
                threading.Thread(target=self._take, daemon=True).start()
        elif b == 0x13:
            self._streaming = False
        return True

    def _next_packet(self):
        i = self.packets_sent
        data = packet(i % 3, 500 + (i * 7) % 4000, 500 + (i * 5) % 3000, (i * 11) % 512,
                      self.model)
        if self.hang_up and self.hang_up[0] == "packet" and i >= self.hang_up[1]:
            os.write(self.master, data[:3])
            time.sleep(0.02)
            self._drop()
            return False
        os.write(self.master, data)
        self.packets_sent += 1
        return True

    def _serve(self):
        previous = 0
        next_due = time.monotonic()
        while not self._stop.is_set() and self.master is not None:
            wait = max(0.0, next_due - time.monotonic()) if self._streaming else 0.05
            ready, _, _ = select.select([self.master], [], [], wait)
            if ready:
                try:
                    data = os.read(self.master, 256)
                except OSError:
                    data = b""
                for b in data:
                    self.received.append(b)
                    if not self._on_byte(b, previous):
                        return
                    previous = b
            if self._streaming and time.monotonic() >= next_due:
                if not self._next_packet():
                    return
                next_due = max(next_due + self.packet_ms / 1000.0, time.monotonic() - 0.1)
