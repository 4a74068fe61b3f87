#!/usr/bin/env bash
# `make fuzz`: builds the libFuzzer targets with clang and address + undefined sanitizers, and
# runs each for FUZZ_SECONDS (default 60) from its seeds in fuzz/corpus/<target>. New corpus
# entries stay in build-fuzz/corpus; a crash is left as build-fuzz/crash-* (keep it as a test).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELLUM_FUZZ=ON -DVELLUM_GUI=OFF -DVELLUM_BENCH=OFF -DVELLUM_SANITIZE=address >/dev/null
targets=()
for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
cmake --build "$build" --target "${targets[@]}"
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  seeds=()
  [ -d "fuzz/corpus/$t" ] && seeds=("fuzz/corpus/$t")
  echo "== $t"
  "$build/fuzz/$t" -max_total_time="${FUZZ_SECONDS:-60}" -artifact_prefix="$build/" \
    "$build/corpus/$t" "${seeds[@]}"
done
