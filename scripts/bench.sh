#!/usr/bin/env bash
# Benchmarks: measured time against the floor the protocol allows, printed, never pass/fail.
# Needs the builds of scripts/build.sh (the gauge benchmark also runs through wine64 when the
# win64 build is there).
set -euo pipefail
cd "$(dirname "$0")/.."
for bench in build/native/bench_*; do
  echo "== $(basename "$bench")"
  "$bench"
done
