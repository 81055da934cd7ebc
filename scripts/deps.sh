#!/usr/bin/env bash
# Installs the Debian packages that building and testing cvdt needs, only those missing.
# scripts/deps.sh fuzz also installs what the fuzz targets need (clang 14 and its libFuzzer and
# sanitizer runtimes), which the normal build does not.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build ccache pkg-config
  libsqlite3-dev libpq-dev postgresql libgtest-dev libgmock-dev libbenchmark-dev
  libarchive-dev zlib1g-dev libcurl4-openssl-dev nlohmann-json3-dev libcli11-dev
  openssl curl libarchive-tools python3
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  x11-utils xvfb xdotool haproxy chromium libcpp-httplib-dev
)
# libclang-rt-14-dev holds libFuzzer (libclang_rt.fuzzer*) and the ASan/UBSan runtimes for clang.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
[ "${1:-}" = "fuzz" ] && PACKAGES+=("${FUZZ_PACKAGES[@]}")

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
