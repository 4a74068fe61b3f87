#!/usr/bin/env bash
# `make fuzz`: builds the libFuzzer targets with clang and address + undefined sanitizers, and
# runs each for FUZZ_SECONDS (default 60) from its saved inputs in fuzz/corpus/<target>.
# Arguments: the targets to run (default: all). New inputs stay in build-fuzz/corpus/<target>;
# a finding is left as build-fuzz/<target>-crash-* and the script fails: keep it in
# fuzz/corpus/<target>/ once fixed, so that the corpus tests replay it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELLUM_FUZZ=ON -DVELLUM_GUI=ON -DVELLUM_BENCH=OFF -DVELLUM_SANITIZE=address \
  -DVELLUM_WERROR=ON >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
cmake --build "$build" --target "${targets[@]}"
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$PWD/scripts/sanitizers/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
status=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  seeds=()
  [ -d "fuzz/corpus/$t" ] && seeds=("fuzz/corpus/$t")
  echo "== $t for ${seconds} s"
  if ! "$build/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$build/$t-" "$build/corpus/$t" "${seeds[@]}" 2>"$build/$t.log"; then
    status=1
    echo "$t: FINDING, see $build/$t.log and $build/$t-*" >&2
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+.*DONE' "$build/$t.log" || true
done
exit $status
