#!/bin/sh
# Download throughput of cvftc.dll against the curl command line, same loopback HTTP server,
# same file (held in the page cache), alternate runs.
# Usage: bench/ftc_vs_curl.sh [BUILD_DIR [SIZE_MIB [RUNS]]]   (defaults: build 1024 5)
set -eu

build_dir=${1:-build}
size_mib=${2:-1024}
runs=${3:-5}
file=${CVDT_BENCH_FILE:-${TMPDIR:-/tmp}/cvdt_ftc_bench.bin}

command -v curl >/dev/null || { echo "curl not found" >&2; exit 1; }
cmake --build "$build_dir" --target cvdt_ftc_vs_curl >/dev/null

bytes=$((size_mib * 1048576))
if [ ! -f "$file" ] || [ "$(wc -c <"$file")" -ne "$bytes" ]; then
  echo "writing $size_mib MiB of random data to $file" >&2
  head -c "$bytes" /dev/urandom >"$file"
fi
cat "$file" >/dev/null  # into the page cache
"$build_dir/bench/cvdt_ftc_vs_curl" "$file" "$runs"
