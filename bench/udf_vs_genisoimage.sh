#!/usr/bin/env bash
# Pure UDF images through the UDF exports against genisoimage -udf (xorriso makes no UDF), in
# one run: the 600 MB, 6,000-file tree of backup_vs_zip.sh and a flat folder of 100,000 empty
# files (those of iso_vs_genisoimage.sh). Each image is read into a file.
# Usage: bench/udf_vs_genisoimage.sh [work-folder] [build-folder]
#   (build-folder: a Release build with the udf_image_bench target, default build/release)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="${1:-$root/build/bench-work}"
build="${2:-$root/build/release}"
bin="$build/bench/udf_image_bench"
[ -x "$bin" ] || { echo "build first: cmake --build $build --target udf_image_bench" >&2; exit 1; }
mkdir -p "$work"
tree="$work/tree"
flat="$work/flat100k"
files=100000

if [ ! -f "$tree/.complete" ]; then
  # The tree generator lives in backup_vs_zip.sh; take it from there, unchanged.
  sed -n "/^  \/usr\/bin\/python3 - \"\$tree\" <<'PY'$/,/^PY$/p" "$root/bench/backup_vs_zip.sh" |
    sed '1s/^  //' >"$work/make_tree.sh"
  rm -rf "$tree"
  tree="$tree" bash -c 'set -e; tree="$tree"; . "$0"' "$work/make_tree.sh"
fi
if [ ! -f "$flat/.complete" ]; then
  rm -rf "$flat"
  mkdir -p "$flat"
  (cd "$flat" && seq -f 'e%06g' 0 $((files - 1)) | xargs touch)
  : >"$flat/.complete"
fi

export QUORVA_HOME="$work/home"
mkdir -p "$QUORVA_HOME"
: >"$work/udf-results"

# The most descriptors a process and its children hold, sampled every 20 ms until it ends.
watch_descriptors() {  # pid, output file
  local pid=$1 out=$2 most=0 n p
  while kill -0 "$pid" 2>/dev/null; do
    for p in "$pid" $(pgrep -P "$pid" 2>/dev/null); do
      n=$(ls "/proc/$p/fd" 2>/dev/null | wc -l || true)
      if [ "$n" -gt "$most" ]; then most=$n; fi
    done
    sleep 0.02 || true
  done
  echo "$most" >"$out"
}

measure() {  # case, tool, output image, command...
  local case=$1 name=$2 out=$3; shift 3
  rm -f "$out"
  sync
  local t0 t1 pid
  t0=$(date +%s.%N)
  /usr/bin/time -f "%U %S %M" -o "$work/$case-$name.time" "$@" >"$work/$case-$name.out" \
    2>"$work/$case-$name.err" &
  pid=$!
  watch_descriptors "$pid" "$work/$case-$name.fds" &
  wait "$pid" || { echo "$case $name failed:"; tail -5 "$work/$case-$name.err"; return 1; }
  t1=$(date +%s.%N)
  wait
  read -r user sys rss <"$work/$case-$name.time"
  printf '%s %s %s %s %s %s %s\n' "$case" "$name" "$(echo "$t1 - $t0" | bc)" \
    "$(stat -c %s "$out" 2>/dev/null || echo 0)" "$(echo "$user + $sys" | bc)" "$rss" \
    "$(cat "$work/$case-$name.fds")" >>"$work/udf-results"
  rm -f "$out"
}

for case in tree flat; do
  src="$tree"; [ "$case" = flat ] && src="$flat"
  # A warm page cache for both alike.
  tar -cf - -C "$src" . >/dev/null
  measure "$case" halvorin "$work/halvorin.udf" "$bin" "$src" "$work/halvorin.udf"
  measure "$case" genisoimage "$work/genisoimage.iso" genisoimage -quiet -udf \
    -o "$work/genisoimage.iso" "$src"
done

echo "case  tool          seconds  vs-geniso     MB/s   cpu-s    peak-KiB  descriptors"
while read -r c name t s cpu m fds; do
  read -r _ _ gt _ _ _ _ < <(grep "^$c genisoimage " "$work/udf-results")
  printf '%-5s %-12s %8.2f  %9.3f  %7.1f  %6.2f  %10d  %11d\n' "$c" "$name" "$t" \
    "$(echo "$t / $gt" | bc -l)" "$(echo "$s / 1048576 / $t" | bc -l)" "$cpu" "$m" "$fds"
done <"$work/udf-results"
echo "halvorin phases:"
for c in tree flat; do echo "  $c: $(cat "$work/$c-halvorin.out")"; done
