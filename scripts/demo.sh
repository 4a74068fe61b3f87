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

# No display: a private Xvfb with a window manager, a screenshot after a few seconds.
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 1
DISPLAY=$display openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
DISPLAY=$display "$vellum" "${ports[@]}" &
pids+=($!)
sleep "${VELLUM_DEMO_SECONDS:-6}"
shot="$build/demo.png"
DISPLAY=$display import -window root "$shot"
echo "demo: no display here, so Vellum ran under Xvfb; screenshot: $shot" >&2
