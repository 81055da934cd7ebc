#!/usr/bin/env bash
# Installs the Debian packages that building and testing cvdt needs, only those missing.
# scripts/deps.sh fuzz also installs what the fuzz targets need (clang 14 and its libFuzzer and
# sanitizer runtimes), which the normal build does not. scripts/deps.sh --windows also installs
# the MinGW-w64 cross compilers for the win32 and win64 presets and wine64, which runs the win64
# test programs (scripts/test-windows). scripts/deps.sh style installs clang-format and clang-tidy
# (scripts/style-check). Several of these may be given together.
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
STYLE_PACKAGES=(clang-format clang-tidy git)
# The compilers come in two thread models; the toolchain files use the posix one (-posix).
WINDOWS_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine64 googletest
  libz-mingw-w64-dev msitools wixl)
for group in "$@"; do
  case "$group" in
    fuzz) PACKAGES+=("${FUZZ_PACKAGES[@]}") ;;
    --windows) PACKAGES+=("${WINDOWS_PACKAGES[@]}") ;;
    style) PACKAGES+=("${STYLE_PACKAGES[@]}") ;;
  esac
done

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
