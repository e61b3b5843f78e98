# The inputs of the image benchmarks, made once in the work folder and kept: the 600 MB,
# 6,000-file tree of backup_vs_zip.sh in $tree and a flat folder of $files empty files in $flat.
# Sourced by iso_vs_genisoimage.sh and udf_vs_genisoimage.sh with root, work, tree, flat and
# files set.
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
