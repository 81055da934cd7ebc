#!/usr/bin/env bash
# Configures and builds one preset (default, asan or tsan): scripts/build.sh [PRESET] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
shift || true
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
# Paths relative to the checkout, so that several checkouts (git worktrees) share one cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
export CCACHE_NOHASHDIR=1
cmake --preset "$preset" >/dev/null
if [ $# -gt 0 ]; then
  cmake --build --preset "$preset" -j"$(nproc)" --target "$@"
else
  cmake --build --preset "$preset" -j"$(nproc)"
fi
