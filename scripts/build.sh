#!/usr/bin/env bash
# Configures and builds one preset (default, asan or tsan): scripts/build.sh [PRESET] [TARGET...]
# CVDT_NO_WARNINGS=1 fails the build when the compiler or linker printed a warning (CI sets it).
# The flags stay the same, so the compiler cache serves both ways: it replays the warnings of a
# file it compiled before.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
shift || true
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
# Paths relative to the checkout, so that several checkouts (git worktrees) share one cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
export CCACHE_NOHASHDIR=1
cmake --preset "$preset" >/dev/null
targets=()
if [ $# -gt 0 ]; then targets=(--target "$@"); fi
if [ "${CVDT_NO_WARNINGS:-0}" != 1 ]; then
  cmake --build --preset "$preset" -j"$(nproc)" "${targets[@]}"
  exit
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
cmake --build --preset "$preset" -j"$(nproc)" "${targets[@]}" 2>&1 | tee "$log"
if grep -q 'warning:' "$log"; then
  echo "build.sh: the $preset build printed warnings (CVDT_NO_WARNINGS=1 refuses them):" >&2
  grep 'warning:' "$log" | sort -u >&2
  exit 1
fi
