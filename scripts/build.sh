#!/usr/bin/env bash
# Builds the product (win32), the Wine test build (win64) and the native build.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in win32 win64 native; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done
