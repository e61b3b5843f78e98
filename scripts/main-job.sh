#!/usr/bin/env bash
# Installs what is missing, builds the program and runs what it does from the command line.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
build/release/app/ui/QuorvaBackup
