#!/usr/bin/env bash
# Every test: the DLL's export table (win32), the native unit tests, the same under the address and
# undefined-behaviour sanitizers, the integration tests and PE unit tests under Wine on the i686
# product (32-bit Wine) and on the x86_64 PE of the same sources, and a short run of every fuzzer.
# Says how many tests ran on which build; ends with one line "N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh || exit 1
jobs=$(nproc)
passed=0 failed=0 broken=0 total=0

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
  local line; total=0
  line=$(grep -E "tests passed, [0-9]+ tests? failed out of" "$log" | tail -n 1)
  if [ -z "$line" ]; then
    grep -q "No tests were found" "$log" && return 0
    echo "ctest $preset did not finish"; broken=1; return
  fi
  local fails
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  fails=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - fails)); failed=$((failed + fails))
}

# 32-bit Wine runs the i686 product. Without it (wine32:i386 missing, or a machine that cannot
# execute 32-bit programs) an i686 program fails or exits silently: try the loader, then the host,
# and look for the host's last line.
wine32_runs() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 &&
    cmake/wine-run.sh build/win32/wineprefix build/win32/bin/host.exe 2>/dev/null </dev/null |
    grep -q "host end"
}

mkdir -p build
i686=0 x86_64=0 wine32=0
if configure_build win32; then
  if wine32_runs; then
    wine32=1
    run_ctest win32
  else
    echo "NO i686 RUN: 32-bit Wine (wine32:i386) cannot run programs here; the Wine tests run on the x86_64 build only."
    run_ctest win32 -E win_tests
  fi
fi
configure_build win64 && run_ctest win64
if configure_build native; then
  run_ctest native -LE wine
  if [ "$wine32" -eq 1 ]; then run_ctest native -L i686; i686=$total; fi
  run_ctest native -L x86_64; x86_64=$total
fi
configure_build native-asan && run_ctest native-asan -L unit
configure_build fuzz && run_ctest fuzz

echo
if [ "$wine32" -eq 1 ]; then
  echo "Wine integration tests: $i686 on the i686 product (win32 build), $x86_64 on x86_64 (win64 build)"
else
  echo "Wine integration tests: NONE on the i686 product (no 32-bit Wine), $x86_64 on x86_64 (win64 build)"
fi
echo
[ "$broken" -eq 0 ] || echo "Some builds or test runs broke (see above)."
echo "$passed passed, $failed failed"
[ "$broken" -eq 0 ] && [ "$failed" -eq 0 ]
