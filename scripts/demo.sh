#!/usr/bin/env bash
# `make demo`: Vellum against the built-in tablet emulator on COM1 (COM2..COM4 absent).
# Extra emulator arguments come from VELLUM_DEMO_TABLET, e.g. VELLUM_DEMO_TABLET="--model 5".
# Without a display it runs under Xvfb for a few seconds and leaves a screenshot instead.
set -euo pipefail
build=${1:-build}
tablet="$build/tools/vellum-tablet"
vellum="$build/app/vellum"
for program in "$tablet" "$vellum"; do
  [ -x "$program" ] || { echo "demo: $program is missing; run 'make build' first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/vellum-demo.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# shellcheck disable=SC2086  # the extra arguments are meant to split
"$tablet" ${VELLUM_DEMO_TABLET:-} >"$work/tablet.out" &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$work/tablet.out" ] && break
  sleep 0.05
done
pty=$(head -n 1 "$work/tablet.out")
[ -n "$pty" ] || { echo "demo: vellum-tablet did not start" >&2; exit 1; }
ports=(--port "1=$pty" --port 2=/nonexistent/vellum-demo-com2
       --port 3=/nonexistent/vellum-demo-com3 --port 4=/nonexistent/vellum-demo-com4)
echo "demo: emulated tablet on $pty as COM1; F1, F5, F3 step through the screens, F4 ends" >&2

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$vellum" "${ports[@]}"
  exit $?
fi

# No display: a private Xvfb (on a display number it picks itself) with a window manager; the
# info screen after a few seconds of drawing is saved, then F4 ends Vellum.
for tool in Xvfb openbox xdotool import; do
  command -v "$tool" >/dev/null || { echo "demo: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 3>"$work/display" &
pids+=($!)
number=""
read -r -t 10 number <"$work/display" || true
[ -n "$number" ] || { echo "demo: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$number"
# Qt wants a private runtime directory; a root shell without a login session has none.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$work/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
fi
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done
"$vellum" "${ports[@]}" &
vellum_pid=$!
pids+=("$vellum_pid")
sleep "${VELLUM_DEMO_SECONDS:-5}"
kill -0 "$vellum_pid" 2>/dev/null || { echo "demo: vellum ended early" >&2; exit 1; }
shot="$(cd "$build" && pwd)/demo.png"
import -window root "$shot"
xdotool key F4
status=0
wait "$vellum_pid" || status=$?
[ "$status" = 0 ] || { echo "demo: vellum ended with status $status after F4" >&2; exit 1; }
echo "demo: no display here, so Vellum ran under Xvfb ($DISPLAY) for ${VELLUM_DEMO_SECONDS:-5} s"
echo "demo: screenshot of the info screen: $shot"
