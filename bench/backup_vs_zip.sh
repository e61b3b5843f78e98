#!/usr/bin/env bash
# Throughput of the command-line backup at level "normal" against Info-ZIP zip -6, 7z and
# bsdtar on one generated tree (600 MB: 60 % compressible text, 40 % random, 6,000 files).
# Usage: bench/backup_vs_zip.sh [work-folder]   (needs scripts/build.sh first)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="${1:-$root/build/bench-work}"
bin="$root/build/release/app/ui/QuorvaBackup"
[ -x "$bin" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
mkdir -p "$work"
tree="$work/tree"

if [ ! -f "$tree/.complete" ]; then
  rm -rf "$tree"
  /usr/bin/python3 - "$tree" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(1234)
words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
         for _ in range(5000)]
files, total = 6000, 600 * 1000 * 1000
per = total // files
for i in range(files):
    folder = os.path.join(root, "d%02d" % (i % 40), "s%02d" % (i % 7))
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "f%05d" % i)
    size = rng.randint(per // 2, per * 3 // 2)
    with open(path, "wb") as f:
        if i % 5 < 3:
            chunk = " ".join(rng.choice(words) for _ in range(20000)).encode()
            while size > 0:
                f.write(chunk[:size]); size -= len(chunk)
        else:
            f.write(os.urandom(size))
open(os.path.join(root, ".complete"), "w").close()
PY
fi

export QUORVA_HOME="$work/home"
mkdir -p "$QUORVA_HOME"
winTree="Z:${tree//\//\\}\\"
winOut="Z:${work//\//\\}\\quorva.qvp"
/usr/bin/python3 "$root/scripts/make_project.py" "$work/bench.bpj" bench \
  "Folders=$winTree" "DestinationFile=$winOut" BackupMode=0 CompressionLevel=0

measure() {  # name, output file, command...
  local name=$1 out=$2; shift 2
  rm -f "$out"
  local t0 t1
  t0=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$work/$name.mem" "$@" >/dev/null 2>"$work/$name.err" || {
    echo "$name failed:"; tail -5 "$work/$name.err"; return 1; }
  t1=$(date +%s.%N)
  printf '%s %s %s %s\n' "$name" "$(echo "$t1 - $t0" | bc)" "$(stat -c %s "$out")" \
    "$(tail -1 "$work/$name.mem")" >>"$work/results"
}

: >"$work/results"
cd "$tree"
measure quorva "$work/quorva.qvp" "$bin" "$work/bench.bpj"
measure zip-6 "$work/zip.zip" zip -r -6 -q "$work/zip.zip" .
measure 7z-mx5 "$work/7z.zip" 7z a -tzip -mx5 -bd "$work/7z.zip" .
measure bsdtar "$work/bsdtar.zip" bsdtar --format zip -cf "$work/bsdtar.zip" .

echo "tool       seconds  vs-zip   archive-bytes  vs-zip   peak-KiB"
read -r _ zt zs _ < <(grep '^zip-6 ' "$work/results")
while read -r name t s m; do
  printf '%-10s %7.2f  %6.3f  %13d  %7.4f  %8d\n' "$name" "$t" "$(echo "$t / $zt" | bc -l)" \
    "$s" "$(echo "$s / $zs" | bc -l)" "$m"
done <"$work/results"
