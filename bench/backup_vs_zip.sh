#!/usr/bin/env bash
# Throughput of the command-line backup at level "normal" against Info-ZIP zip -6, 7z and
# bsdtar on one generated tree (600 MB: 60 % compressible text, 40 % random, 6,000 files), and
# at "super fast" and "maximum" against 7z -mx1 / -mx9 and zip -1 / -9; then the per-file
# costs: a changed-files project of 100,000 empty files in one folder (its first run, then the
# run after one file changed) against zip -r of the same folder. Every archive of the program
# is tested by unzip, 7z and bsdtar. Prints the ratios the project aims at, each against its
# peers in the same run.
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
# The project's levels: 3 super fast (deflate 1), 1 maximum (deflate 9).
for level in 3 1; do
  /usr/bin/python3 "$root/scripts/make_project.py" "$work/bench-l$level.bpj" "bench-l$level" \
    "Folders=$winTree" "DestinationFile=Z:${work//\//\\}\\quorva-l$level.qvp" BackupMode=0 \
    CompressionLevel=$level
done

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
# Every tool reads the tree from a warm page cache, the first one too.
find . -type f -exec cat {} + >/dev/null
measure quorva "$work/quorva.qvp" "$bin" "$work/bench.bpj"
measure zip-6 "$work/zip.zip" zip -r -6 -q "$work/zip.zip" .
measure 7z-mx5 "$work/7z.zip" 7z a -tzip -mx5 -bd "$work/7z.zip" .
measure bsdtar "$work/bsdtar.zip" bsdtar --format zip -cf "$work/bsdtar.zip" .
measure quorva-fast "$work/quorva-l3.qvp" "$bin" "$work/bench-l3.bpj"
measure zip-1 "$work/zip-1.zip" zip -r -1 -q "$work/zip-1.zip" .
measure 7z-mx1 "$work/7z-1.zip" 7z a -tzip -mx1 -bd "$work/7z-1.zip" .
measure quorva-max "$work/quorva-l1.qvp" "$bin" "$work/bench-l1.bpj"
measure zip-9 "$work/zip-9.zip" zip -r -9 -q "$work/zip-9.zip" .
measure 7z-mx9 "$work/7z-9.zip" 7z a -tzip -mx9 -bd "$work/7z-9.zip" .

# 100,000 empty files in one folder, in changed-files mode (BackupMode=1): the first run
# stores them all, the next one only the file that changed.
empty="$work/empty100k"
if [ ! -f "$empty/.complete" ]; then
  rm -rf "$empty"
  mkdir -p "$empty"
  (cd "$empty" && seq -f 'e%06g' 0 99999 | xargs touch)
  : >"$empty/.complete"
fi
: >"$empty/e000000"
rm -f "$work"/empty100k*.qvp
winEmpty="Z:${empty//\//\\}\\"
winEmptyOut="Z:${work//\//\\}\\empty100k.qvp"
/usr/bin/python3 "$root/scripts/make_project.py" "$work/empty.bpj" empty \
  "Folders=$winEmpty" "DestinationFile=$winEmptyOut" BackupMode=1 CompressionLevel=0
cd "$empty"
measure empty-first "$work/empty100k.qvp" "$bin" "$work/empty.bpj"
echo changed >"$empty/e000000"
measure empty-changed "$work/empty100k-v002.qvp" "$bin" "$work/empty.bpj"
measure empty-zip "$work/empty-zip.zip" zip -r -q "$work/empty-zip.zip" .

# Every archive the program wrote reads back with each of the outside tools.
tested=yes
for a in quorva.qvp quorva-l3.qvp quorva-l1.qvp empty100k.qvp empty100k-v002.qvp; do
  unzip -tq "$work/$a" >/dev/null 2>&1 || { echo "unzip -t failed on $a"; tested=no; }
  7z t "$work/$a" >/dev/null 2>&1 || { echo "7z t failed on $a"; tested=no; }
  bsdtar -tf "$work/$a" >/dev/null 2>&1 || { echo "bsdtar -t failed on $a"; tested=no; }
done

field() { grep "^$1 " "$work/results" | awk -v f="$2" '{print $f}'; }
ratio() { echo "$1 / $2" | bc -l; }
echo "tool           seconds  vs-zip   archive-bytes  vs-zip   peak-KiB"
for row in "quorva zip-6" "zip-6 zip-6" "7z-mx5 zip-6" "bsdtar zip-6" "quorva-fast zip-1" \
  "zip-1 zip-1" "7z-mx1 zip-1" "quorva-max zip-9" "zip-9 zip-9" "7z-mx9 zip-9"; do
  set -- $row
  printf '%-13s %8.2f  %6.3f  %13d  %7.4f  %8d\n' "$1" "$(field $1 2)" \
    "$(ratio "$(field $1 2)" "$(field $2 2)")" "$(field $1 3)" \
    "$(ratio "$(field $1 3)" "$(field $2 3)")" "$(field $1 4)"
done
echo "100,000 empty files (one folder):"
for name in empty-first empty-changed empty-zip; do
  printf '%-13s %8.2f  %6.3f  %13d  %7s  %8d\n' "$name" "$(field $name 2)" \
    "$(ratio "$(field $name 2)" "$(field empty-zip 2)")" "$(field $name 3)" "" "$(field $name 4)"
done
goal() {  # text, value, limit
  local met=no
  [ "$(echo "$2 <= $3" | bc -l)" = 1 ] && met=yes
  printf '  %-52s %9.3f  (goal <= %s: %s)\n' "$1" "$2" "$3" "$met"
}
echo "goals ($(nproc) cores):"
goal "time quorva / 7z -mx5" "$(ratio "$(field quorva 2)" "$(field 7z-mx5 2)")" 0.2
goal "archive quorva / zip -6" "$(ratio "$(field quorva 3)" "$(field zip-6 3)")" 1
goal "peak quorva, MiB" "$(ratio "$(field quorva 4)" 1024)" 256
goal "super fast: time quorva / 7z -mx1" \
  "$(ratio "$(field quorva-fast 2)" "$(field 7z-mx1 2)")" 0.5
goal "super fast: archive quorva / zip -1" \
  "$(ratio "$(field quorva-fast 3)" "$(field zip-1 3)")" 1
goal "maximum: time quorva / 7z -mx9" "$(ratio "$(field quorva-max 2)" "$(field 7z-mx9 2)")" 0.5
goal "maximum: archive quorva / zip -9" \
  "$(ratio "$(field quorva-max 3)" "$(field zip-9 3)")" 1
goal "100,000 empty files: time quorva / zip -r" \
  "$(ratio "$(field empty-first 2)" "$(field empty-zip 2)")" 0.5
goal "100,000 empty files: peak quorva / zip -r" \
  "$(ratio "$(field empty-first 4)" "$(field empty-zip 4)")" 2
goal "changed-files run after it: time / zip -r" \
  "$(ratio "$(field empty-changed 2)" "$(field empty-zip 2)")" 0.3
echo "  every archive of the program passes unzip -t, 7z t and bsdtar -t: $tested"
