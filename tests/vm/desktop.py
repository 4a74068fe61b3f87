"""Desktops in the guest and what libinput says there.

    desk = GuestDesktop(guest, vellum, vellum_args=["--pointer", "uinput", ...])
    desk.start()                     # Xvfb (1024x768) and openbox in the guest, then vellum on
    win = desk.window                #   them (desk.vellum, a GuestProcess) and its window
    x, y, w, h = desk.geometry(win)  # and the rest of e2e.Session's look-ups, done in the guest:
    shot = desk.screenshot()         #   title, wm_state, screenshot, pointer, key, wait_exit

    events = guest.spawn(["stdbuf", "-oL", "libinput", "debug-events"], "libinput")
    positions = absolute_positions(events.output()[0], "Vellum tablet pointer", (1024, 768))

    weston = Weston(guest, size=(1280, 800))   # needs Guest(display=True)
    weston.start()                             # weston on the DRM (bochs) with its socket
    weston.screenshot() -> e2e.Shot            # weston-screenshooter's PNG of the output

The guest runs everything as root with its own /tmp; what must reach the host (screenshots)
is written to the share.
"""

import os
import re
import signal
import subprocess

import e2e
import vm
from vm import check, fail

__all__ = ["GuestDesktop", "Weston", "libinput_events", "absolute_positions"]


class GuestDesktop(e2e.Session):
    """e2e.Session with every program in the guest: Xvfb, openbox, vellum and the X tools."""

    def __init__(self, guest, vellum, vellum_args=(), screen=(1024, 768), window_manager=True,
                 display=":1"):
        super().__init__(vellum, guest.tablet, emulator_args=None, screen=screen,
                         vellum_args=vellum_args, window_manager=window_manager)
        os.rmdir(self.tmp)  # made on the host by e2e; the guest's files go to the share
        self.tmp = guest.path("desktop")
        os.makedirs(self.tmp, exist_ok=True)
        self.guest, self.display = guest, display

    def _env(self):
        env = {"DISPLAY": self.display, "QT_QPA_PLATFORM": "xcb", "WAYLAND_DISPLAY": None}
        env.update(self.extra_env)
        return env

    def run(self, args, timeout=60, **kw):
        r = self.guest.run(args, timeout=timeout, env=self._env())
        return subprocess.CompletedProcess(args, r.status, r.out, r.err)

    def start_x(self):
        w, h = self.screen
        number = self.display.lstrip(":")
        self.xvfb = self.guest.spawn(["Xvfb", self.display, "-screen", "0", "%dx%dx24" % (w, h),
                                      "-nolisten", "tcp", "-noreset"], "xvfb")
        self.guest.wait_until("test -e /tmp/.X11-unix/X" + number, 60, "Xvfb")
        if self.window_manager:
            # Its start-up command runs once it manages the screen: no polling with X tools,
            # each of which takes a second to start under emulation.
            flag = "/run/openbox-up-" + number
            self.wm = self.guest.spawn(["openbox", "--sm-disable", "--startup", "touch " + flag],
                                       "openbox", env=self._env())
            self.guest.wait_until("test -e " + flag, 60, "openbox")

    def start(self, wait_for_window=True):
        """Xvfb and openbox, then vellum and its window; vellum again (up to three times in
        all) while its probe misses the tablet."""
        self.start_x()
        for attempt in range(3):
            self.start_vellum()
            if not wait_for_window:
                return self
            self.wait_window()
            if not vm.missed_the_tablet(self.vellum.output()[1]):
                return self
            print("vellum missed the tablet; again")
            self.vellum.signal(signal.SIGKILL)
            self.vellum.wait(10)
        fail("vellum missed the tablet three times")

    def start_vellum(self, extra_args=()):
        self.vellum = self.guest.spawn([self.vellum_path] + self.vellum_args + list(extra_args),
                                       "vellum", env=self._env())
        return self.vellum

    def wait_window(self, timeout=90):
        r = self.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid",
                      str(self.vellum.pid)], timeout=timeout)
        ids = r.stdout.split()
        if not ids:
            fail("no window of vellum within %d s; vellum: %r" % (timeout, self.vellum.output()))
        self.window = ids[-1]
        return self.window

    def vellum_output(self):
        return self.vellum.output()

    def stop(self):
        for p in (self.vellum, self.wm, self.xvfb):
            if p is not None and p.wait(0) is None:
                p.signal()
                p.wait(5)


class Weston:
    """weston on the guest's DRM device (bochs, from Guest(display=True)), its software
    renderer drawing on a virtual VGA output of `size`; clients reach it at socket wl-0."""

    def __init__(self, guest, size=(1280, 800)):
        self.guest, self.size = guest, size
        self.socket = "wl-0"
        self.process = None

    def env(self):
        return {"WAYLAND_DISPLAY": self.socket, "QT_QPA_PLATFORM": "wayland", "DISPLAY": None,
                "XDG_RUNTIME_DIR": "/run/user/0"}

    def start(self, timeout=90):
        w, h = self.size
        config = self.guest.path("weston.ini")
        with open(config, "w") as f:
            # The output's mode is what the VGA card offers; weston's default would be its
            # preferred mode, whose size the guest does not choose.
            f.write("[core]\nidle-time=0\n\n[output]\nname=Virtual-1\nmode=%dx%d\n" % (w, h))
        self.process = self.guest.spawn(
            ["weston", "--backend=drm-backend.so", "--use-pixman", "--tty=2",
             "--socket=" + self.socket,
             "--debug", "--continue-without-input", "--config=" + config], "weston",
            env=self.env())
        self.guest.wait_until("test -S /run/user/0/" + self.socket, timeout, "weston's socket")
        return self

    def screenshot(self, name="weston-shot"):
        """The output as weston-screenshooter saw it (the compositor's cursor included)."""
        folder = self.guest.path(name)
        os.makedirs(folder, exist_ok=True)
        r = self.guest.run(["weston-screenshooter"], cwd=folder, env=self.env(), timeout=60)
        shots = sorted(n for n in os.listdir(folder) if n.endswith(".png"))
        check(r.status == 0 and shots, "weston-screenshooter: %s %r" % (r.status, r.err))
        ppm = subprocess.run(["convert", os.path.join(folder, shots[-1]), "-depth", "8",
                              "ppm:-"], capture_output=True, check=True).stdout
        return e2e.Shot.from_ppm(ppm)


def libinput_events(text):
    """[(device node, event name, the rest of the line)] from `libinput debug-events`."""
    events = []
    for line in text.splitlines():
        m = re.match(r"^[-\s](event\d+)\s+([A-Z_]+)\s+(.*)$", line)
        if m:
            events.append(m.groups())
    return events


def absolute_positions(text, device_name, size):
    """The screen pixels of the named device's absolute pointer motions, in order. libinput
    prints each as a share of the axis range in hundredths of a per cent (0 to 100 across the
    width: (value - minimum) / (maximum - minimum + 1)), so on a screen of `size` the pixel is
    exact."""
    nodes, positions = set(), []
    for node, name, rest in libinput_events(text):
        if name == "DEVICE_ADDED" and re.split(r"\s{2,}", rest.strip())[0] == device_name:
            nodes.add(node)
        elif name == "POINTER_MOTION_ABSOLUTE" and node in nodes:
            m = re.search(r"([\d.]+)/\s*([\d.]+)\s*$", rest)
            if m:
                positions.append((round(float(m.group(1)) * size[0] / 100),
                                  round(float(m.group(2)) * size[1] / 100)))
    return positions
