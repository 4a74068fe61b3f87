#!/usr/bin/env bash
# `make bench`: measures the program and prints the performance table (scripts/bench_table.py):
# the in-process figures of bench_table, bench_tone and bench_pen, the real program under Xvfb
# (scripts/bench_gui.py: the pointer and the trace as another X client sees them, start-up,
# CPU, wake-ups, memory), and the 8250 UART's delays in the QEMU guest of tests/vm
# (scripts/bench_vm.py; left out where the guest cannot run). The table shows the real
# program's figures first.
# With BENCH_ALL=1 it first runs every Google Benchmark executable of the build as well.
# Arguments: the build directory (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
for t in bench_table bench_tone bench_pen bench_first_frame bench_pointer bench_trace; do
  [ -x "$build/bench/$t" ] || { echo "bench: $build/bench/$t is not built" >&2; exit 1; }
done
if [ "${BENCH_ALL:-0}" = 1 ]; then
  for bench in "$build"/bench/bench_*; do
    case "$(basename "$bench")" in
      bench_table | bench_tone | bench_pen | bench_first_frame | bench_pointer | bench_trace)
        continue ;;
    esac
    [ -x "$bench" ] && [ -f "$bench" ] || continue
    echo "== $(basename "$bench")"
    "$bench"
  done
fi
out=$(mktemp)
trap 'rm -f "$out"' EXIT
QT_QPA_PLATFORM=offscreen "$build/bench/bench_table" >"$out"
"$build/bench/bench_tone" >>"$out"
"$build/bench/bench_pen" >>"$out"
python3 scripts/bench_gui.py "$build/app/vellum" "$build/tools/vellum-tablet" \
  "$build/bench/bench_first_frame" "$build/bench/bench_pointer" "$build/bench/bench_trace" >>"$out"
VELLUM_VM_WORK="$build/tests/vm" python3 scripts/bench_vm.py "$build/app/vellum" \
  "$build/tools/vellum-tablet" >>"$out"
python3 scripts/bench_table.py "$out"
