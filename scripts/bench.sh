#!/usr/bin/env bash
# Benchmarks: measured time against the floor the protocol allows, printed, never pass/fail.
# Needs the builds of scripts/build.sh (the gauge benchmark also runs the i686 product through
# 32-bit Wine when the win32 build is there).
set -euo pipefail
cd "$(dirname "$0")/.."
for bench in build/native/bench_*; do
  echo "== $(basename "$bench")"
  "$bench"
done
