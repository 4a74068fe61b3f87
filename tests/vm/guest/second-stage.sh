#!/bin/sh
# The guest's init on this machine's root (read-only 9p under a memory overlay, the mounts made
# by the first stage), run by its switch_root: the drivers and udev, then the agent the host
# talks to, or a shell on the console. Whatever happens the guest powers itself off: at the
# end, or when the watchdog fires.
#
#   second-stage.sh agent|shell WATCHDOG_SECONDS AGENT_PATH SHELL_DIR MODULE...
mode=$1 watchdog=$2 agent=$3 shell_dir=$4
shift 4
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/root LANG=C.UTF-8 XDG_RUNTIME_DIR=/run/user/0
# Where the boot's time goes, on the console (shell built-ins only: no program to start).
mark() { read -r up _ < /proc/uptime; echo "vm: $1 at $up s"; }
mark second-stage
# Powering off happens a moment after the request, while the 9p root is already going away: the
# init waits on a pipe no one writes to, starting no program, rather than exit (a panic).
hold=/run/vm-hold
mkfifo "$hold"
power_off() { echo o > /proc/sysrq-trigger; read -r _ < "$hold"; }

(sleep "$watchdog"; echo "vm: the watchdog ends the guest after $watchdog s"; power_off) &
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
hostname vm

# Python starts slowly under emulation: the agent starts at once and says it is ready when
# udev has settled (the flag file).
settled=/run/vm-settled
if [ "$mode" = agent ]; then
  VELLUM_VM_SETTLED="$settled" python3 -B "$agent" &
  agent_pid=$!
fi

modprobe -a "$@" || echo "vm: modprobe $* failed"
mark drivers-loaded
/lib/systemd/systemd-udevd --daemon

# The subsystems the checks look at; a full coldplug costs many seconds under emulation.
udevadm trigger --action=add --subsystem-match=tty --sysname-match='ttyS[0-9]*' \
  --sysname-match='ttyUSB*'
udevadm trigger --action=add --subsystem-match=usb --subsystem-match=usb-serial \
  --subsystem-match=input --subsystem-match=misc --subsystem-match=drm \
  --subsystem-match=graphics --subsystem-match=virtio-ports
udevadm settle --timeout=60
mark udev-settled
: > "$settled"

if [ "$mode" = shell ]; then
  echo "vm: ready; 'poweroff' or Ctrl+D ends the guest, Ctrl+A x ends QEMU"
  printf '#!/bin/sh\necho o > /proc/sysrq-trigger\n' > /usr/local/sbin/poweroff
  chmod 0755 /usr/local/sbin/poweroff
  cd "$shell_dir" 2>/dev/null || cd /
  # A session of its own with the console as its controlling terminal, for job control.
  setsid sh -c 'exec bash -i <>/dev/ttyS0 >&0 2>&1'
else
  wait "$agent_pid"
fi
power_off
