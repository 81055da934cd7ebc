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
# The shell's "times" gives the CPU time of its finished children (user, then system), so the
# CPU time of the command alone is the difference around it; it moves less with the machine's
# load than the wall time.
cpu_between() {  # BEFORE AFTER: seconds of user + system time
  awk 'function s(t) { split(t, p, "m"); return p[1] * 60 + p[2] }
       FNR == 2 { c[FILENAME] = s($1) + s($2) }
       END { printf "%.4f\n", c[ARGV[2]] - c[ARGV[1]] }' "$1" "$2"
}
timed() {  # NAME COMMAND...
  name=$1
  shift
  rm -rf "$work/out" && mkdir -p "$work/out" && sync
  times >"$times/before"
  start=$(now_ns)
  "$@" >/dev/null
  seconds_since "$start" >>"$times/$name"
  times >"$times/after"
  echo >>"$times/$name"
  cpu_between "$times/before" "$times/after" >>"$times/$name.cpu"
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
# "BEST MEDIAN" of the numbers in a file, one a line.
best_median() {
  sort -n "$1" | awk '{ t[NR] = $1 } END { print t[1], NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'
}
# Best and median wall time in MB/s of content, the median CPU time (user + system), and for
# the libraries their ratios to bsdtar (bsdtar's time over theirs: above 1 is faster).
summary() {  # NAME LABEL
  awk -v mb="$bytes" -v label="$2" -v name="$1" \
      -v wall="$(best_median "$times/$1")" -v cpu="$(best_median "$times/$1.cpu")" \
      -v bwall="$(best_median "$times/bsdtar")" -v bcpu="$(best_median "$times/bsdtar.cpu")" 'BEGIN {
    split(wall, w, " "); split(cpu, c, " "); split(bwall, bw, " "); split(bcpu, bc, " "); mb /= 1e6
    printf "%-24s best %7.1f MB/s (%.3f s), median %7.1f MB/s (%.3f s); CPU median %.3f s\n",
           label, mb / w[1], w[1], mb / w[2], w[2], c[2]
    if (name != "bsdtar")
      printf "%-24s ratio to bsdtar: best %.3f, median %.3f; CPU median %.3f\n",
             "", bw[1] / w[1], bw[2] / w[2], bc[2] / c[2]
  }'
}
summary bsdtar "bsdtar -xf (one file):"
[ -n "${CVDT_LGZ_BASELINE:-}" ] && summary baseline "baseline (volumes):"
summary cvlgz "cvlgz.dll (volumes):"
