#!/bin/sh
# The Windows build's MD5 (NHash on a file) and extraction (cvlgz.dll: zlib and our tar reader,
# Windows file calls) against the Linux build's, on the same files from the page cache: the
# Linux programs natively, the win64 programs under wine64 in a WINEPREFIX of their own (or
# $WINEPREFIX). Each program times only its own work, so Wine's start-up is left out; Wine's
# file calls are not. The point is that nothing in the Windows path is pathologically slow.
# Usage: bench/windows_vs_linux.sh [SIZE_MIB [RUNS]]   (defaults: 256 3)
set -eu
cd "$(dirname "$0")/.."
size_mib=${1:-256}
runs=${2:-3}
work=${CVDT_BENCH_DIR:-${TMPDIR:-/tmp}/cvdt_windows_bench}

command -v bsdtar >/dev/null || { echo "bsdtar not found (Debian: libarchive-tools)" >&2; exit 1; }
scripts/build.sh default cvdt_md5_file cvdt_lgz_extract cvlgz >/dev/null
scripts/build.sh win64 cvdt_md5_file cvdt_lgz_extract cvlgz >/dev/null
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/cvdt-wine-bench.XXXXXX")
  trap 'WINEPREFIX=$WINEPREFIX /usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$WINEPREFIX"' EXIT
  export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  "$wine" wineboot --init >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
fi
export WINEDEBUG=-all

# Half incompressible files, half text (base64), as bench/lgz_vs_bsdtar.sh; kept for later runs.
if [ ! -f "$work/$size_mib.done" ]; then
  rm -rf "$work" && mkdir -p "$work/src/bin" "$work/src/text" "$work/volumes"
  half=$((size_mib / 2))
  i=0
  while [ "$i" -lt $((half / 32)) ]; do
    head -c 33554432 /dev/urandom >"$work/src/bin/blob$i.dat"
    i=$((i + 1))
  done
  head -c $((half * 786432)) /dev/urandom | base64 -w 76 | (cd "$work/src/text" && split -b 256K -a 4 - page)
  bsdtar -czf "$work/pkg.tgz" -C "$work/src" .
  split -b 64M -d -a 5 "$work/pkg.tgz" "$work/volumes/pkg.l"
  mv "$work/volumes/pkg.l00000" "$work/volumes/pkg.lgz"
  touch "$work/$size_mib.done"
fi
cat "$work/pkg.tgz" "$work"/volumes/* >/dev/null

z() { echo "Z:$1" | tr / '\\'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
: >"$work/linux.md5"; : >"$work/windows.md5"; : >"$work/linux.lgz"; : >"$work/windows.lgz"
i=0
while [ "$i" -lt "$runs" ]; do
  build/bench/cvdt_md5_file "$work/pkg.tgz" | cut -d' ' -f2 >>"$work/linux.md5"
  "$wine" build-win64/bench/cvdt_md5_file.exe "$(z "$work/pkg.tgz")" | tr -d '\r' | cut -d' ' -f2 >>"$work/windows.md5"
  rm -rf "$work/out" && mkdir -p "$work/out" && sync
  build/bench/cvdt_lgz_extract "$work/volumes/pkg.lgz" "$work/out" >>"$work/linux.lgz"
  rm -rf "$work/out" && mkdir -p "$work/out" && sync
  "$wine" build-win64/bench/cvdt_lgz_extract.exe "$(z "$work/volumes/pkg.lgz")" "$(z "$work/out")" \
    "$(z "$PWD/build-win64/stage/cvlgz.dll")" | tr -d '\r' >>"$work/windows.lgz"
  i=$((i + 1))
done
diff -r "$work/src" "$work/out" >/dev/null || { echo "the Windows extraction differs from the source" >&2; exit 1; }
rm -rf "$work/out"
bytes=$(wc -c <"$work/pkg.tgz")
content=$(du -sb "$work/src" | cut -f1)
for kind in md5 lgz; do
  linux=$(median <"$work/linux.$kind")
  windows=$(median <"$work/windows.$kind")
  awk -v k="$kind" -v l="$linux" -v w="$windows" -v b="$bytes" -v c="$content" 'BEGIN {
    n = (k == "md5") ? b : c
    printf "%-4s Linux %.3f s (%.0f MB/s)  Windows under Wine %.3f s (%.0f MB/s)  ratio %.2f\n",
           k, l, n / 1e6 / l, w, n / 1e6 / w, w / l }'
done
echo "(median of $runs runs; md5 over the $bytes-byte archive, lgz of $content bytes of content)"
