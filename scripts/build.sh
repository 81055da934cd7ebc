#!/usr/bin/env bash
# Configures and builds one preset (default, asan or tsan): scripts/build.sh [PRESET] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
shift || true
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
cmake --preset "$preset" >/dev/null
if [ $# -gt 0 ]; then
  cmake --build --preset "$preset" -j"$(nproc)" --target "$@"
else
  cmake --build --preset "$preset" -j"$(nproc)"
fi
