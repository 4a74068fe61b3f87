"""vellum --pen on a real kernel: the uinput devices as libinput sees them (a tablet of the true
size, the puck a pointer), strokes through libinput with the pen coming into proximity, touching
with rising pressure, pressing its side button, lifting and leaving, for a 7-byte tablet on the
UART and a 5-byte one on the USB adapter; the cursor on the puck; and the devices gone when the
command ends, by a signal or the adapter pulled out (last)."""

import os
import re
import signal
import time

import vm
from vm import check

vellum, tablet = vm.programs()

# Each run of the script: a quiet line, the pen hovering, a stroke with the tip down and the
# pressure ramp, the side button (code 3: tip and the lower button), the tip lifted while
# hovering on. The emulator repeats it, so every pen run sees whole strokes.
SCRIPT_7 = """gap 1500
packet 0 2500 1875 0
rest 0 2500 1875 0 5
stroke 1 2500 1875 3500 1875 30 0 500
stroke 3 3500 1875 3500 2500 8 500 500
stroke 0 3500 2500 3600 2500 5
"""
SCRIPT_5 = """gap 1500
packet 0 1250 1125
rest 0 1250 1125 0 5
stroke 1 1250 1125 2000 1125 20
stroke 3 2000 1125 2000 1500 8
stroke 2 2000 1500 2100 1500 5
stroke 0 2100 1500 2200 1500 5
"""


def script_file(name, text):
    folder = os.environ.get("VELLUM_VM_WORK") or os.getcwd()
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write(text)
    return path


UART = ["--model", "7", "--range", "5000", "3750", "--script", script_file("pen-7.txt", SCRIPT_7)]
ADAPTER = ["--model", "5", "--range", "2500", "2250",
           "--script", script_file("pen-5.txt", SCRIPT_5)]


def pen(guest, com1, name, extra=()):
    """vellum --pen on COM1 = com1 (the other ports absent), once its devices are up: the
    process and {device name: event node} from its first line."""
    args = [vellum, "--pen", "--port", "1=" + com1]
    for n in range(2, 5):
        args += ["--port", "%d=/nonexistent/vm-tty%d" % (n, n)]
    p = guest.spawn(args + list(extra), name)
    err = p.wait_for(" in hand\n", 60, stream="err")
    nodes = dict(re.findall(r"(Vellum pen tablet(?: puck)?) on (/dev/input/event\d+)", err))
    check(nodes, "no device named: %r" % err)
    return p, nodes


def stop(p, sig=signal.SIGTERM):
    p.signal(sig)
    status = p.wait(20)
    return status, p.output()[1]


def devices(guest):
    """libinput list-devices as {name: {field: value}}."""
    r = guest.run(["libinput", "list-devices"], timeout=60)
    check(r.status == 0, "list-devices: %r" % r.err)
    found = {}
    for block in r.out.split("\n\n"):
        fields = dict(re.findall(r"^([\w .-]+):\s+(.*?)\s*$", block, re.M))
        if "Device" in fields:
            found[fields["Device"]] = fields
    return found


def debug_events(guest, name):
    d = guest.spawn(["stdbuf", "-oL", "libinput", "debug-events"], name)
    d.wait_for("DEVICE_ADDED", 60)  # the devices there are: it is reading
    return d


def events(text, node):
    """The lines of one device: [(type, rest)]."""
    name = os.path.basename(node)
    return [(m.group(1), m.group(2)) for m in
            re.finditer(r"^[-\s]%s\s+(\w+)\s+(.*)$" % name, text, re.M)]


def sessions(evs):
    """Each proximity, from proximity-in to proximity-out, as the events between."""
    found, current = [], None
    for kind, rest in evs:
        if kind == "TABLET_TOOL_PROXIMITY" and "proximity-in" in rest:
            current = []
        elif kind == "TABLET_TOOL_PROXIMITY" and "proximity-out" in rest:
            if current is not None:
                found.append(current)
            current = None
        elif current is not None:
            current.append((kind, rest))
    return found


def stroke_problem(session, pressure):
    """Why this proximity is not the script's stroke ("" when it is): tip down, the axes with the
    pressure rising along the ramp (or without pressure), the side button pressed, the tip up
    and the button released, in that order, and nothing else."""
    order = []
    pressures = []
    for kind, rest in session:
        if kind == "TABLET_TOOL_TIP":
            order.append("down" if rest.endswith("down") else "up")
        elif kind == "TABLET_TOOL_BUTTON" and "BTN_STYLUS)" in rest:
            order.append("pressed" if " pressed" in rest else "released")
        elif kind != "TABLET_TOOL_AXIS":
            return "unexpected %s %s" % (kind, rest)
        value = re.search(r"pressure: ([\d.]+)", rest)
        if kind != "TABLET_TOOL_BUTTON" and (value is not None) != pressure:
            return "pressure %s where %s: %s" % ("given" if value else "missing",
                                                "expected" if pressure else "none", rest)
        if value and order and order[-1] == "down" and kind != "TABLET_TOOL_BUTTON":
            pressures.append(float(value.group(1)))
    if order not in (["down", "pressed", "up", "released"], ["down", "pressed", "released", "up"]):
        return "tip and button: %r" % order
    if pressure:
        if any(b < a for a, b in zip(pressures, pressures[1:])) or pressures[-1] - pressures[0] < 0.8:
            return "pressure does not rise along the ramp: %r" % pressures
    return ""


def wait_for_stroke(d, node, pressure, timeout=60):
    """Waits for one proximity that is the script's whole stroke; a busy host that stalls the
    emulated guest can break one, so it takes the first whole one among several."""
    deadline = time.monotonic() + timeout
    problems = []
    while time.monotonic() < deadline:
        found = sessions(events(d.output()[0], node))
        problems = [stroke_problem(s, pressure) for s in found]
        if "" in problems:
            return
        time.sleep(1)
    vm.fail("no whole stroke on %s within %d s: %r" % (node, timeout, problems))


def test_seven_byte_tablet_is_a_tablet_of_its_true_size(guest):
    p, nodes = pen(guest, "/dev/ttyS1", "pen-7-size")
    check(list(nodes) == ["Vellum pen tablet"], "devices %r" % nodes)
    found = devices(guest)
    t = found.get("Vellum pen tablet")
    check(t, "not in list-devices: %r" % list(found))
    check(t["Kernel"] == nodes["Vellum pen tablet"], "node %r" % t)
    check(t["Capabilities"] == "tablet", "capabilities %r" % t)
    check(t["Size"] == "127x95mm", "size %r" % t)
    status, err = stop(p)
    check(status == 0, "status %s: %r" % (status, err))
    check(err.endswith("Vellum pen tablet removed: stopped by SIGTERM\n"), "stderr %r" % err)
    check("Vellum pen tablet" not in devices(guest), "the device outlived the command")


def test_the_services_command_finds_the_tablet_on_its_port_alone(guest):
    """The command vellum-pen@ttyS1.service runs (the built vellum for the installed one): COM2 to
    COM4 are /dev/null, which the probe passes over."""
    unit = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "dist",
                        "vellum-pen@.service")
    with open(unit) as f:
        command = re.search(r"^ExecStart=(\S+) (.*)$", f.read(), re.M).group(2)
    p = guest.spawn([vellum] + command.replace("%I", "ttyS1").split(), "pen-unit")
    err = p.wait_for(" in hand\n", 60, stream="err")
    check("7-byte tablet on COM1 (/dev/ttyS1)" in err, "stderr %r" % err)
    status, err = stop(p)
    check(status == 0, "status %s: %r" % (status, err))


def test_seven_byte_stroke_through_libinput(guest):
    d = debug_events(guest, "events-7")
    p, nodes = pen(guest, "/dev/ttyS1", "pen-7-stroke")
    wait_for_stroke(d, nodes["Vellum pen tablet"], pressure=True)
    status, err = stop(p, signal.SIGINT)
    check(status == 0 and err.endswith("stopped by SIGINT\n"), "status %s: %r" % (status, err))
    d.signal(signal.SIGINT)
    d.wait(20)
    out = d.output()[0]
    check(re.search(r"DEVICE_REMOVED\s+Vellum pen tablet\s", out), "no removal: %r" % out[-500:])
    # Stopped in any state, the pen left proximity before the device went.
    evs = events(out, nodes["Vellum pen tablet"])
    ins = sum(1 for k, r in evs if k == "TABLET_TOOL_PROXIMITY" and "proximity-in" in r)
    outs = sum(1 for k, r in evs if k == "TABLET_TOOL_PROXIMITY" and "proximity-out" in r)
    check(ins == outs, "%d proximity-in, %d proximity-out" % (ins, outs))


def test_five_byte_tablet_and_its_puck(guest):
    p, nodes = pen(guest, "/dev/ttyUSB0", "pen-5-size")
    found = devices(guest)
    t, puck = found.get("Vellum pen tablet"), found.get("Vellum pen tablet puck")
    check(t and puck, "not in list-devices: %r" % list(found))
    check(t["Capabilities"] == "tablet" and t["Size"] == "127x114mm", "tablet %r" % t)
    check(puck["Capabilities"] == "pointer", "puck %r" % puck)
    check(puck["Kernel"] == nodes["Vellum pen tablet puck"], "puck node %r" % puck)
    stop(p)


def test_five_byte_stroke_without_pressure_then_the_cursor(guest):
    d = debug_events(guest, "events-5")
    p, nodes = pen(guest, "/dev/ttyUSB0", "pen-5-stroke")
    wait_for_stroke(d, nodes["Vellum pen tablet"], pressure=False)
    # The cursor in hand: the same codes are its buttons, summed (1 left, 3 after 1 left and
    # right), on the puck.
    p.signal(signal.SIGUSR1)
    puck = os.path.basename(nodes["Vellum pen tablet puck"])
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        out = d.output()[0]
        if (re.search(r"^[-\s]%s\s+POINTER_BUTTON\s.*BTN_LEFT.* pressed" % puck, out, re.M) and
                re.search(r"^[-\s]%s\s+POINTER_BUTTON\s.*BTN_RIGHT.* pressed" % puck, out, re.M)):
            break
        time.sleep(1)
    else:
        vm.fail("no cursor buttons on %s: %r" % (puck, d.output()[0][-3000:]))
    check(re.search(r"^[-\s]%s\s+POINTER_MOTION_ABSOLUTE\s" % puck, out, re.M),
          "no absolute motion on the puck")
    stop(p)
    d.signal(signal.SIGINT)
    d.wait(20)


def test_adapter_pulled_removes_the_devices(guest):
    p, _ = pen(guest, "/dev/ttyUSB0", "pen-pulled")
    guest.unplug_adapter()
    status = p.wait(20)
    err = p.output()[1]
    check(status == 1, "status %s: %r" % (status, err))
    check(re.search(r"\nVellum pen tablet removed: the tablet was lost: unplugged.*\n$", err),
          "stderr %r" % err)
    r = guest.run("grep -c 'Vellum pen tablet' /proc/bus/input/devices", timeout=30)
    check(r.out.strip() == "0", "devices left: %r" % r.out)


vm.run_tests(globals(), uart=UART, adapter=ADAPTER)
