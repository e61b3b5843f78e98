#!/usr/bin/env bash
# Optimised build of the program into build/release.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVA_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
