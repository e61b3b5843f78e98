#!/usr/bin/env bash
# Restore of the backup benchmark's archive (600 MB tree, 6,000 files, deflate "normal") by the
# program's restore run against unzip, 7z x and bsdtar -x of the same archive, one run each
# from a warm page cache; prints the times and the ratios.
# Usage: bench/restore_vs_unzip.sh [work-folder]   (needs scripts/build.sh first; the tree and
# the archive are those of bench/backup_vs_zip.sh in the same work folder, made when missing)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="${1:-$root/build/bench-work}"
release="$root/build/release"
[ -d "$release" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
cmake --build "$release" --target restore_bench >/dev/null
bin="$release/bench/restore_bench"

archive="$work/quorva.qvp"
tree="$work/tree"
if [ ! -f "$archive" ] || [ ! -f "$tree/.complete" ]; then
  bash "$root/bench/backup_vs_zip.sh" "$work"
fi
export QUORVA_HOME="$work/home"
mkdir -p "$QUORVA_HOME"
out="$work/restore"

measure() {  # name, accepted exit codes (e.g. "0 1"), command...
  local name=$1 accepted=$2; shift 2
  rm -rf "$out/$name"
  mkdir -p "$out/$name"
  cat "$archive" >/dev/null
  local t0 t1 rc=0
  t0=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$work/restore-$name.mem" "$@" >"$work/restore-$name.log" 2>&1 || rc=$?
  t1=$(date +%s.%N)
  if [[ " $accepted " != *" $rc "* ]]; then
    echo "$name failed ($rc):"; tail -5 "$work/restore-$name.log"; return 1
  fi
  printf '%s %s %s\n' "$name" "$(echo "$t1 - $t0" | bc)" "$(tail -1 "$work/restore-$name.mem")" \
    >>"$work/restore-results"
}

: >"$work/restore-results"
measure quorva "0" "$bin" "$archive" "$out/quorva"
# The stored names use backslashes, about which unzip warns (exit code 1).
measure unzip "0 1" unzip -q -o "$archive" -d "$out/unzip"
measure 7z "0" 7z x -bd -y -o"$out/7z" "$archive"
measure bsdtar "0" bsdtar -xf "$archive" -C "$out/bsdtar"

# The restored tree must be the source tree.
diff -r "$tree" "$out/quorva/Z$tree" >/dev/null || { echo "restored tree differs" >&2; exit 1; }

echo "tool       seconds  quorva/tool  peak-KiB"
read -r _ qt _ < <(grep '^quorva ' "$work/restore-results")
while read -r name t m; do
  printf '%-10s %7.2f  %11.3f  %8d\n' "$name" "$t" "$(echo "$qt / $t" | bc -l)" "$m"
done <"$work/restore-results"
