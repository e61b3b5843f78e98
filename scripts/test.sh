#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs every test in parallel.
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
