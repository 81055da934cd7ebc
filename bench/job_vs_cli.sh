#!/bin/sh
# A commanded job on a large package against curl plus bsdtar on the same files, same loopback
# HTTP server, alternate runs; prints both times, their ratio and the job's peak memory.
# Usage: bench/job_vs_cli.sh [BUILD_DIR [SIZE_MIB [RUNS [PART_MIB]]]]   (defaults: build 1024 5 64)
set -eu

build_dir=${1:-build}
size_mib=${2:-1024}
runs=${3:-5}
part_mib=${4:-64}
work=${CVDT_BENCH_DIR:-${TMPDIR:-/tmp}/cvdt_job_bench}

for tool in curl bsdtar cmp; do
  command -v "$tool" >/dev/null || { echo "$tool not found (Debian: curl, libarchive-tools, diffutils)" >&2; exit 1; }
done
# The source, the served parts, and during a run the downloaded parts and the extracted copy.
mkdir -p "$work"
need_kib=$((size_mib * 1024 * 4 + 262144))
free_kib=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
if [ "$free_kib" -lt "$need_kib" ]; then
  echo "need about $((need_kib / 1024)) MiB free in $work, have $((free_kib / 1024)) MiB;" \
       "give a smaller size: $0 $build_dir $((free_kib / 4096 / 2))" >&2
  exit 1
fi
cmake --build "$build_dir" --target cvdt_job_vs_cli >/dev/null
"$build_dir/bench/cvdt_job_vs_cli" --size-mib "$size_mib" --part-mib "$part_mib" --runs "$runs" \
  --work "$work"
