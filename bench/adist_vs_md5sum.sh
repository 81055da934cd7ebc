#!/bin/sh
# Passes of the automatic worker over an item of many small files already in place (and with one
# of them changed) against md5sum over the same tree, alternate runs; prints both times, their
# ratios, what the passes fetched and their peak memory.
# Usage: bench/adist_vs_md5sum.sh [BUILD_DIR [FILES [RUNS]]] [--dialog] [--fetch-all]
#        (defaults: build 10000 5)
set -eu

build_dir=build
files=10000
runs=5
extra=""
position=0
for arg in "$@"; do
  case "$arg" in
    --dialog|--fetch-all) extra="$extra $arg" ;;
    *) position=$((position + 1))
       case $position in 1) build_dir=$arg ;; 2) files=$arg ;; 3) runs=$arg ;; esac ;;
  esac
done
work=${CVDT_BENCH_DIR:-${TMPDIR:-/tmp}/cvdt_adist_bench}

for tool in md5sum find xargs diff cmp; do
  command -v "$tool" >/dev/null || { echo "$tool not found (Debian: coreutils, findutils, diffutils)" >&2; exit 1; }
done
# The source tree, the served parts (about as large again) and the machine's copy of the tree.
mkdir -p "$work"
need_kib=$((files * 36 * 4 + 262144))
free_kib=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
if [ "$free_kib" -lt "$need_kib" ]; then
  echo "need about $((need_kib / 1024)) MiB free in $work, have $((free_kib / 1024)) MiB" >&2
  exit 1
fi
cmake --build "$build_dir" --target cvdt_adist_sweep >/dev/null
# shellcheck disable=SC2086
"$build_dir/bench/cvdt_adist_sweep" --files "$files" --runs "$runs" --work "$work" $extra
