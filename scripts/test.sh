#!/usr/bin/env bash
# Every test: the DLL's export table (win32), the native unit tests, the same under the address and
# undefined-behaviour sanitizers, the integration tests under wine64 against the simulators, the PE
# unit tests under wine64, and a short run of every fuzzer. Ends with one line "N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh || exit 1
jobs=$(nproc)
passed=0 failed=0 broken=0

configure_build() {  # preset
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$jobs" >"build/$1.build.log" 2>&1 \
    || { echo "BUILD FAILED: $1"; tail -n 40 "build/$1.build.log"; broken=1; return 1; }
  if grep -q "warning:" "build/$1.build.log"; then
    echo "WARNINGS in $1 build:"; grep "warning:" "build/$1.build.log" | head -n 20; broken=1
  fi
}

run_ctest() {  # preset [extra ctest args]
  local preset=$1; shift
  local log="build/$preset.ctest.log"
  ctest --preset "$preset" "$@" 2>&1 | tee "$log" | grep -E "Test +#|tests passed|Failed|\*\*\*" || true
  local line
  line=$(grep -E "tests passed, [0-9]+ tests? failed out of" "$log" | tail -n 1)
  if [ -z "$line" ]; then
    grep -q "No tests were found" "$log" && return 0
    echo "ctest $preset did not finish"; broken=1; return
  fi
  local total fails
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  fails=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - fails)); failed=$((failed + fails))
}

mkdir -p build
configure_build win32 && run_ctest win32
configure_build win64 && run_ctest win64
configure_build native && run_ctest native
configure_build native-asan && run_ctest native-asan -L unit
configure_build fuzz && run_ctest fuzz

echo
[ "$broken" -eq 0 ] || echo "Some builds or test runs broke (see above)."
echo "$passed passed, $failed failed"
[ "$broken" -eq 0 ] && [ "$failed" -eq 0 ]
