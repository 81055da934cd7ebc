#!/bin/sh
# MD5 throughput of NHash against `openssl dgst -md5` on the same file held in the page cache.
# Usage: bench/md5_vs_openssl.sh [BUILD_DIR [SIZE_MIB [RUNS]]]   (defaults: build 1024 5)
set -eu

build_dir=${1:-build}
size_mib=${2:-1024}
runs=${3:-5}
file=${CVDT_BENCH_FILE:-${TMPDIR:-/tmp}/cvdt_md5_bench.bin}
program=$build_dir/bench/cvdt_md5_file

command -v openssl >/dev/null || { echo "openssl not found" >&2; exit 1; }
cmake --build "$build_dir" --target cvdt_md5_file >/dev/null

bytes=$((size_mib * 1048576))
if [ ! -f "$file" ] || [ "$(wc -c <"$file")" -ne "$bytes" ]; then
  echo "writing $size_mib MiB of random data to $file" >&2
  head -c "$bytes" /dev/urandom >"$file"
fi
cat "$file" >/dev/null  # into the page cache

now_ns() { date +%s%N; }

# Wall time of one run in seconds; the digest goes to $digest_out.
timed() {
  start=$(now_ns)
  "$@" >"$digest_out"
  end=$(now_ns)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f", (e - s) / 1e9 }'
}

digest_out=$(mktemp)
trap 'rm -f "$digest_out"' EXIT
best_openssl=
best_nhash=
i=0
while [ "$i" -lt "$runs" ]; do
  t=$(timed openssl dgst -md5 -r "$file")
  openssl_digest=$(cut -c1-32 "$digest_out" | tr 'a-f' 'A-F')
  best_openssl=$(awk -v a="$t" -v b="${best_openssl:-1e30}" 'BEGIN { print (a < b ? a : b) }')
  t=$(timed "$program" "$file")
  nhash_digest=$(cut -d' ' -f1 "$digest_out")
  best_nhash=$(awk -v a="$t" -v b="${best_nhash:-1e30}" 'BEGIN { print (a < b ? a : b) }')
  if [ "$openssl_digest" != "$nhash_digest" ]; then
    echo "digests differ: openssl $openssl_digest, NHash $nhash_digest" >&2
    exit 1
  fi
  i=$((i + 1))
done

awk -v bytes="$bytes" -v o="$best_openssl" -v n="$best_nhash" -v runs="$runs" \
    -v digest="$nhash_digest" 'BEGIN {
  mo = bytes / 1e6 / o; mn = bytes / 1e6 / n
  printf "file: %d bytes (page cache), best of %d runs each, digest %s\n", bytes, runs, digest
  printf "openssl dgst -md5: %8.1f MB/s (%.3f s)\n", mo, o
  printf "NHash (MD5):       %8.1f MB/s (%.3f s)\n", mn, n
  printf "ratio NHash/openssl: %.3f\n", mn / mo
}'
