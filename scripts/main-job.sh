#!/usr/bin/env bash
# Installs what is missing, builds the program and runs a command-line backup of a sample
# folder into build/sample/out, then lists the archive it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh

sample="$PWD/build/sample"
rm -rf "$sample"
mkdir -p "$sample/data/docs" "$sample/data/pictures" "$sample/out" "$sample/home"
printf 'Quarterly report\n' >"$sample/data/docs/report.txt"
printf 'Ünïcödé name\n' >"$sample/data/docs/naïve café.txt"
seq 1 20000 >"$sample/data/docs/numbers.csv"
head -c 200000 /dev/urandom >"$sample/data/pictures/photo.raw"
: >"$sample/data/empty.txt"

win() { local p="Z:$1"; echo "${p//\//\\}"; }
export QUORVA_HOME="$sample/home"
/usr/bin/python3 scripts/make_project.py "$sample/sample.bpj" sample \
  "Folders=$(win "$sample/data/")" "DestinationFile=$(win "$sample/out/sample.qvp")"

build/release/app/ui/QuorvaBackup "$sample/sample.bpj"
echo
zipinfo "$sample/out/sample.qvp"
