#!/bin/sh
# Extraction throughput of cvlgz.dll on an archive cut into volumes against bsdtar on the same
# archive in one piece, both from the page cache.
# Usage: bench/lgz_vs_bsdtar.sh [BUILD_DIR [SIZE_MIB [RUNS]]]   (defaults: build 1024 3)
# CVDT_LGZ_BASELINE=PATH also times another build of cvlgz.dll, in turn with the other two.
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

# One run of each, in turn, on an empty and synced output folder; the times go to one file per
# contestant. The last run is cvlgz.dll's, whose tree is compared with the source below.
times=$work/times
rm -rf "$times" && mkdir -p "$times"
timed() {  # NAME COMMAND...
  name=$1
  shift
  rm -rf "$work/out" && mkdir -p "$work/out" && sync
  start=$(now_ns)
  "$@" >/dev/null
  seconds_since "$start" >>"$times/$name"
  echo >>"$times/$name"
}
i=0
while [ "$i" -lt "$runs" ]; do
  timed bsdtar bsdtar -xf "$work/pkg.tgz" -C "$work/out"
  if [ -n "${CVDT_LGZ_BASELINE:-}" ]; then
    timed baseline "$program" "$work/volumes/pkg.lgz" "$work/out" "$CVDT_LGZ_BASELINE"
  fi
  timed cvlgz "$program" "$work/volumes/pkg.lgz" "$work/out"
  i=$((i + 1))
done
diff -r "$work/src" "$work/out" >/dev/null || { echo "extracted tree differs from the source" >&2; exit 1; }
rm -rf "$work/out"

bytes=$(du -sb "$work/src" | cut -f1)
archive=$(wc -c <"$work/pkg.tgz")
volumes=$(ls "$work/volumes" | wc -l)
echo "content: $bytes bytes; archive $archive bytes in $volumes volumes; $runs runs each"
# Best and median wall time of each, in MB/s of content, and the ratios to bsdtar's.
summary() {  # NAME LABEL
  awk -v bytes="$bytes" -v label="$2" -v name="$1" '
    NR == FNR { b[++nb] = $1; next }
    { t[++n] = $1 }
    function sort(a, k,   i, j, x) { for (i = 2; i <= k; i++) { x = a[i]; for (j = i - 1; j > 0 && a[j] > x; j--) a[j + 1] = a[j]; a[j + 1] = x } }
    function median(a, k) { return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2 }
    END {
      sort(t, n); sort(b, nb); mb = bytes / 1e6
      printf "%-24s best %7.1f MB/s (%.3f s), median %7.1f MB/s (%.3f s)", label, mb / t[1], t[1], mb / median(t, n), median(t, n)
      if (name != "bsdtar") printf "; ratio to bsdtar: best %.3f, median %.3f", b[1] / t[1], median(b, nb) / median(t, n)
      printf "\n"
    }' "$times/bsdtar" "$times/$1"
}
summary bsdtar "bsdtar -xf (one file):"
[ -n "${CVDT_LGZ_BASELINE:-}" ] && summary baseline "baseline (volumes):"
summary cvlgz "cvlgz.dll (volumes):"
