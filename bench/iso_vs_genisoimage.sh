#!/usr/bin/env bash
# Joliet images through the file-tree exports against genisoimage -J and xorriso -as mkisofs -J:
# the 600 MB, 6,000-file tree of backup_vs_zip.sh, then a flat folder of 100,000 empty files.
# Usage: bench/iso_vs_genisoimage.sh [work-folder] [build-folder]
#   (build-folder: a Release build with the iso_image_bench target, default build/release as
#   scripts/build.sh makes it)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="${1:-$root/build/bench-work}"
build="${2:-$root/build/release}"
bin="$build/bench/iso_image_bench"
[ -x "$bin" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
mkdir -p "$work"
tree="$work/tree"
flat="$work/flat100k"
files=100000

. "$root/bench/image_bench_inputs.sh"

export QUORVA_HOME="$work/home"
mkdir -p "$QUORVA_HOME"
: >"$work/iso-results"

measure() {  # case, tool, output image, command...
  local case=$1 name=$2 out=$3; shift 3
  rm -f "$out"
  sync
  local t0 t1
  t0=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$work/$case-$name.mem" "$@" >"$work/$case-$name.out" \
    2>"$work/$case-$name.err" || { echo "$case $name failed:"; tail -5 "$work/$case-$name.err"; return 1; }
  t1=$(date +%s.%N)
  printf '%s %s %s %s %s\n' "$case" "$name" "$(echo "$t1 - $t0" | bc)" "$(stat -c %s "$out" 2>/dev/null || echo 0)" \
    "$(tail -1 "$work/$case-$name.mem")" >>"$work/iso-results"
  rm -f "$out"
}

for case in tree flat; do
  src="$tree"; [ "$case" = flat ] && src="$flat"
  # A warm page cache for every tool alike: the first one timed must not pay for cold reads.
  # (GNU tar writing to /dev/null reads no file data, so the files are read with cat.)
  find "$src" -type f -print0 | xargs -0 -r cat >/dev/null
  measure "$case" halvorin "$work/halvorin.iso" "$bin" "$src" "$work/halvorin.iso"
  measure "$case" genisoimage "$work/genisoimage.iso" genisoimage -quiet -J -joliet-long \
    -o "$work/genisoimage.iso" "$src"
  measure "$case" xorriso "$work/xorriso.iso" xorriso -as mkisofs -J -joliet-long \
    -o "$work/xorriso.iso" "$src"
done

# An empty folder gives the baseline memory of each tool, for the per-file figures.
empty="$work/empty"
mkdir -p "$empty"
measure empty halvorin "$work/halvorin.iso" "$bin" "$empty" "$work/halvorin.iso"
measure empty genisoimage "$work/genisoimage.iso" genisoimage -quiet -J -o "$work/genisoimage.iso" "$empty"
measure empty xorriso "$work/xorriso.iso" xorriso -as mkisofs -J -o "$work/xorriso.iso" "$empty"

echo "case  tool          seconds  vs-geniso    image-bytes   peak-KiB  vs-geniso  us/file  B/file"
while read -r c name t s m; do
  [ "$c" = empty ] && continue
  read -r _ _ gt _ gm < <(grep "^$c genisoimage " "$work/iso-results")
  em=$(grep "^empty $name " "$work/iso-results" | awk '{print $5}')
  [ -n "$em" ] || em=0  # no baseline: the whole peak counts
  n=6000; [ "$c" = flat ] && n=$files
  printf '%-5s %-12s %8.2f  %9.3f  %13d  %9d  %9.3f  %7.2f  %6.0f\n' "$c" "$name" "$t" \
    "$(echo "$t / $gt" | bc -l)" "$s" "$m" "$(echo "$m / $gm" | bc -l)" \
    "$(echo "$t * 1000000 / $n" | bc -l)" "$(echo "($m - $em) * 1024 / $n" | bc -l)"
done <"$work/iso-results"
echo "halvorin phases:"
for c in tree flat; do echo "  $c: $(cat "$work/$c-halvorin.out")"; done
