#!/usr/bin/env bash
# The main job: builds everything, then drives s470_pc.dll under wine64 through the host program as a
# real host would: creates a setup file, sets and reads back values, closes it and shows the file.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh >build-demo.log 2>&1 || { tail -n 40 build-demo.log; exit 1; }
rm -f build-demo.log
root=$PWD
bin=$root/build/win64/bin
prefix=$root/build/win64/wineprefix
work=$root/build/demo
rm -rf "$work" && mkdir -p "$work" && cd "$work"
host() { "$root/cmake/wine-run.sh" "$prefix" "$bin/host.exe" "$@" 2>/dev/null; }

echo "== A new setup file through the exports"
host open demo.s47 get 0 get 1 setint 256 0x00FF set 255 1 setint 2000 0x0041 getint 256 get 255 close
echo "== The file (7500 bytes), non-zero lines"
od -A d -t x1 -v demo.s47 | grep -vE '^[0-9]+( 00){16}$' | head -n 20
echo "   size: $(stat -c %s demo.s47) bytes"
