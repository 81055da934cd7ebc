#!/bin/sh
# Extraction throughput of cvlgz.dll on an archive cut into volumes against bsdtar on the same
# archive in one piece, both from the page cache.
# Usage: bench/lgz_vs_bsdtar.sh [BUILD_DIR [SIZE_MIB [RUNS]]]   (defaults: build 1024 3)
set -eu

build_dir=${1:-build}
size_mib=${2:-1024}
runs=${3:-3}
work=${CVDT_BENCH_DIR:-${TMPDIR:-/tmp}/cvdt_lgz_bench}
program=$build_dir/bench/cvdt_lgz_extract
volume_mib=64

command -v bsdtar >/dev/null || { echo "bsdtar not found (Debian: libarchive-tools)" >&2; exit 1; }
cmake --build "$build_dir" --target cvdt_lgz_extract >/dev/null

# The content: half incompressible files, half text files (base64), so that both stored and
# Huffman-coded deflate blocks are read. Kept for later runs of the same size.
if [ ! -f "$work/$size_mib.done" ]; then
  echo "writing $size_mib MiB of content and its archive to $work" >&2
  rm -rf "$work" && mkdir -p "$work/src/bin" "$work/src/text"
  half=$((size_mib / 2))
  i=0
  while [ "$i" -lt $((half / 32)) ]; do
    head -c 33554432 /dev/urandom >"$work/src/bin/blob$i.dat"
    i=$((i + 1))
  done
  head -c $((half * 786432)) /dev/urandom | base64 -w 76 | (cd "$work/src/text" && split -b 256K -a 4 - page)
  bsdtar -czf "$work/pkg.tgz" -C "$work/src" .
  mkdir -p "$work/volumes"
  split -b ${volume_mib}M -d -a 5 "$work/pkg.tgz" "$work/volumes/pkg.l"
  mv "$work/volumes/pkg.l00000" "$work/volumes/pkg.lgz"
  touch "$work/$size_mib.done"
fi
cat "$work/pkg.tgz" "$work"/volumes/* >/dev/null  # into the page cache

now_ns() { date +%s%N; }
seconds_since() { awk -v s="$1" -v e="$(now_ns)" 'BEGIN { printf "%.4f", (e - s) / 1e9 }'; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }

best_bsdtar=1e30
best_lgz=1e30
i=0
while [ "$i" -lt "$runs" ]; do
  rm -rf "$work/out" && mkdir -p "$work/out" && sync
  start=$(now_ns)
  bsdtar -xf "$work/pkg.tgz" -C "$work/out"
  best_bsdtar=$(min "$(seconds_since "$start")" "$best_bsdtar")
  rm -rf "$work/out" && sync
  start=$(now_ns)
  "$program" "$work/volumes/pkg.lgz" "$work/out" >/dev/null
  best_lgz=$(min "$(seconds_since "$start")" "$best_lgz")
  i=$((i + 1))
done
diff -r "$work/src" "$work/out" >/dev/null || { echo "extracted tree differs from the source" >&2; exit 1; }
rm -rf "$work/out"

bytes=$(du -sb "$work/src" | cut -f1)
archive=$(wc -c <"$work/pkg.tgz")
volumes=$(ls "$work/volumes" | wc -l)
awk -v bytes="$bytes" -v archive="$archive" -v volumes="$volumes" -v b="$best_bsdtar" \
    -v l="$best_lgz" -v runs="$runs" 'BEGIN {
  mb = bytes / 1e6; mbb = mb / b; mbl = mb / l
  printf "content: %d bytes; archive %d bytes in %d volumes; best of %d runs each\n", bytes, archive, volumes, runs
  printf "bsdtar -xf (one file): %8.1f MB/s (%.3f s)\n", mbb, b
  printf "cvlgz.dll (volumes):   %8.1f MB/s (%.3f s)\n", mbl, l
  printf "ratio cvlgz/bsdtar: %.3f\n", mbl / mbb
}'
