#!/usr/bin/env bash
# Pure UDF images through the UDF exports against genisoimage -udf (xorriso makes no UDF), in
# one run: the 600 MB, 6,000-file tree of backup_vs_zip.sh and a flat folder of 100,000 empty
# files (those of iso_vs_genisoimage.sh). Each image is read into a file.
# The two tools run in turn, three rounds (UDF_BENCH_ROUNDS), and each one's median run by
# seconds is shown: on a shared machine one run alone says little. The descriptors are sampled
# in a run of their own before the timed ones.
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
rounds="${UDF_BENCH_ROUNDS:-3}"

. "$root/bench/image_bench_inputs.sh"

export QUORVA_HOME="$work/home"
mkdir -p "$QUORVA_HOME"
: >"$work/udf-results"

# The most descriptors a process holds, sampled every 20 ms until it ends.
watch_descriptors() {  # pid, output file
  local pid=$1 out=$2 most=0 n
  while kill -0 "$pid" 2>/dev/null; do
    n=$(ls "/proc/$pid/fd" 2>/dev/null | wc -l || true)
    if [ "$n" -gt "$most" ]; then most=$n; fi
    sleep 0.02 || true
  done
  echo "$most" >"$out"
}

# An untimed run that samples the descriptors: the sampling slows the process it watches.
count_descriptors() {  # case, tool, output image, command...
  local case=$1 name=$2 out=$3 pid; shift 3
  rm -f "$out"
  "$@" >/dev/null 2>&1 &
  pid=$!
  watch_descriptors "$pid" "$work/$case-$name.fds"
  wait "$pid" || { echo "$case $name failed"; return 1; }
  rm -f "$out"
}

measure() {  # case, tool, round, output image, command...
  local case=$1 name=$2 round=$3 out=$4; shift 4
  rm -f "$out"
  sync
  local t0 t1
  t0=$(date +%s.%N)
  /usr/bin/time -f "%U %S %M" -o "$work/$case-$name.time" "$@" >"$work/$case-$name.out" \
    2>"$work/$case-$name.err" || { echo "$case $name failed:"; tail -5 "$work/$case-$name.err"; return 1; }
  t1=$(date +%s.%N)
  read -r user sys rss <"$work/$case-$name.time"
  printf '%s %s %s %s %s %s %s %s\n' "$case" "$name" "$(echo "$t1 - $t0" | bc)" \
    "$(stat -c %s "$out" 2>/dev/null || echo 0)" "$(echo "$user + $sys" | bc)" "$rss" \
    "$(cat "$work/$case-$name.fds")" "$round" >>"$work/udf-results"
  cp "$work/$case-$name.out" "$work/$case-$name-$round.out"
  rm -f "$out"
}

for case in tree flat; do
  src="$tree"; [ "$case" = flat ] && src="$flat"
  # A warm page cache for both alike.
  tar -cf - -C "$src" . >/dev/null
  count_descriptors "$case" halvorin "$work/halvorin.udf" "$bin" "$src" "$work/halvorin.udf"
  count_descriptors "$case" genisoimage "$work/genisoimage.iso" genisoimage -quiet -udf \
    -o "$work/genisoimage.iso" "$src"
  for round in $(seq 1 "$rounds"); do
    measure "$case" halvorin "$round" "$work/halvorin.udf" "$bin" "$src" "$work/halvorin.udf"
    measure "$case" genisoimage "$round" "$work/genisoimage.iso" genisoimage -quiet -udf \
      -o "$work/genisoimage.iso" "$src"
  done
done

# The median run of a case and tool by seconds.
median() { grep "^$1 $2 " "$work/udf-results" | sort -k3,3g | sed -n "$(((rounds + 1) / 2))p"; }

echo "case  tool          seconds  vs-geniso     MB/s   cpu-s    peak-KiB  descriptors" \
  "(median of $rounds, $(nproc) cores)"
for c in tree flat; do
  read -r _ _ gt _ _ _ _ _ < <(median "$c" genisoimage)
  for name in halvorin genisoimage; do
    read -r _ _ t s cpu m fds _ < <(median "$c" "$name")
    printf '%-5s %-12s %8.2f  %9.3f  %7.1f  %6.2f  %10d  %11d\n' "$c" "$name" "$t" \
      "$(echo "$t / $gt" | bc -l)" "$(echo "$s / 1048576 / $t" | bc -l)" "$cpu" "$m" "$fds"
  done
done
echo "halvorin phases (the median run):"
for c in tree flat; do
  read -r _ _ _ _ _ _ _ r < <(median "$c" halvorin)
  echo "  $c: $(cat "$work/$c-halvorin-$r.out")"
done
