#!/usr/bin/env bash
# Builds the library and runs every example program.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/packages.sh
ensure_packages build
build=${ORVIKA_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVIKA_TESTS=OFF -DORVIKA_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
for e in "$build"/examples/*; do
  [ -x "$e" ] && [ -f "$e" ] || continue
  echo "== $(basename "$e")"
  "$e"
done
