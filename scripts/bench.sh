#!/usr/bin/env bash
# `make bench`: runs every benchmark executable of the build. Arguments after the build directory
# go to each benchmark (for example --benchmark_filter=Reader).
set -euo pipefail
build=${1:-build}
shift || true
found=0
for bench in "$build"/bench/bench_*; do
  [ -x "$bench" ] && [ -f "$bench" ] || continue
  found=1
  echo "== $(basename "$bench")"
  "$bench" "$@"
done
[ "$found" = 1 ] || { echo "bench: no benchmarks in $build/bench" >&2; exit 1; }
