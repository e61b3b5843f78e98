#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# runs every test in parallel, builds the tree with clang too and runs its tests, then runs
# the burner's tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVA_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 600 "$@"

# The whole tree with clang as well, warnings as errors, and its tests.
clang_build=build/clang
CC=clang CXX=clang++ cmake -S . -B "$clang_build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DQUORVA_WERROR=ON >/dev/null
cmake --build "$clang_build" -j"$(nproc)"
ctest --test-dir "$clang_build" -j"$(nproc)" --output-on-failure --timeout 600 "$@"

# The burner's threads (producer, recorder worker, cancel from another thread, a grab's writer
# thread), the file search's threads (found files handed to the window, abort, closing while
# searching) and the archive layer's (parallel compression and restore, cancel while the workers
# run) under ThreadSanitizer.
tsan=build/tsan
tsan_tests=(burner_faults_test burner_media_ops_test burner_sequence_test cache_queue_test
  session_at_once_test disc_at_once_test grab_api_test grab_cd_test grab_dvd_test grab_faults_test
  search_frm_test zip_parallel_test zip_extract_test zip_cancel_test restore_overwrite_test)
cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVA_SANITIZE_THREAD=ON >/dev/null
cmake --build "$tsan" -j"$(nproc)" --target "${tsan_tests[@]}"
pids=()
for t in "${tsan_tests[@]}"; do
  QUORVA_BUILD_DIR="$PWD/$tsan" TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp" \
    timeout 900 "$tsan/tests/$t" \
    >"$tsan/$t.log" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!pids[@]}"; do
  if ! wait "${pids[$i]}"; then
    echo "ThreadSanitizer run of ${tsan_tests[$i]} failed:"
    tail -n 60 "$tsan/${tsan_tests[$i]}.log"
    failed=1
  fi
done
exit "$failed"
