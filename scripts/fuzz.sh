#!/usr/bin/env bash
# Builds every fuzz target with clang (libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer), writes their seeds with the seed generators, then runs each
# target over its seeds and on for the given seconds (default 60), several at once. Fails on
# any crash, leak, time-out (10 s) or memory over 2 GB, printing the input that did it; a
# summary gives each target's runs and executions per second.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/setup.sh >/dev/null

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVA_FUZZ=ON -DQUORVA_BUILD_TESTS=OFF >/dev/null
mapfile -t targets < <(sed -n 's/^quorva_fuzz(\([a-z_]*\) .*/\1/p' fuzz/CMakeLists.txt)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" engine_seeds library_seeds

run=$build/run
rm -rf "$run"
mkdir -p "$run/seeds"
"$build/fuzz/engine_seeds" "$run/seeds"
"$build/fuzz/library_seeds" "$run/seeds"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"

fuzz_one() {
  local t=$1 name=${1%_fuzz}
  mkdir -p "$run/corpus/$name" "$run/artifacts/$name" "$run/seeds/$name"
  # Each target runs in its own folder: nothing it leaves lands in the tree.
  (cd "$run/artifacts/$name" &&
    "$PWD/../../../fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$PWD/" \
      "$PWD/../../corpus/$name" "$PWD/../../seeds/$name") >"$run/$name.log" 2>&1
}

pids=()
names=()
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n || true; done
  fuzz_one "$t" &
  pids+=($!)
  names+=("$t")
done

failed=0
for i in "${!pids[@]}"; do
  if ! wait "${pids[$i]}"; then
    name=${names[$i]%_fuzz}
    echo "== ${names[$i]} failed:"
    grep -E "ERROR|SUMMARY|runtime error|Test unit written" "$run/$name.log" | head -n 20
    tail -n 40 "$run/$name.log"
    for a in "$run/artifacts/$name"/{crash,leak,timeout,oom}-*; do
      [ -e "$a" ] && echo "reproduce: $build/fuzz/${names[$i]} $a"
    done
    failed=1
  fi
done

printf '\n%-18s %12s %10s\n' target runs "execs/s"
for t in "${targets[@]}"; do
  name=${t%_fuzz}
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/$name.log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$run/$name.log" | tail -n 1)
  printf '%-18s %12s %10s\n' "$name" "${runs:-?}" "${rate:-?}"
done
exit "$failed"
