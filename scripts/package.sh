#!/usr/bin/env bash
# The release package for host developers: dist/s470_pc-<version>-win32.zip with the i686 DLL,
# the public header, the export list, the import libraries for MinGW and Visual C++, the Windows
# command-line tools (s470, and fwscramble, its scramble/unscramble part under its old name) and the
# reference of the exports. The version is the DLL's VERSIONINFO.
#   scripts/package.sh                    builds the win32 preset, writes dist/
#   scripts/package.sh BUILD_DIR OUT_DIR  packs an existing win32 build into OUT_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-}
out=$(realpath -m "${2:-$root/dist}")
if [ -z "$build" ]; then
  build=$root/build/win32
  cmake --preset win32 -S "$root" >/dev/null
  cmake --build --preset win32 -j"$(nproc)" --target s470_pc s470_pc_import_libs fwscramble \
    >/dev/null
fi
version=$(sed -nE 's/^FILEVERSION +([0-9]+), *([0-9]+), *([0-9]+), *([0-9]+).*/\1.\2.\3.\4/p' \
  "$root/src/api/s470_pc.rc")
[ -n "$version" ] || { echo "package.sh: no FILEVERSION in s470_pc.rc" >&2; exit 1; }
name=s470_pc-$version-win32
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name/bin" "$stage/$name/include" "$stage/$name/lib" "$stage/$name/docs"
cp "$build/bin/s470_pc.dll" "$build/bin/s470.exe" "$build/bin/fwscramble.exe" "$stage/$name/bin/"
cp "$root/include/s470_pc.h" "$stage/$name/include/"
cp "$root/src/api/s470_pc.def" "$build/lib/libs470_pc.dll.a" "$build/lib/s470_pc.lib" \
  "$stage/$name/lib/"
cp "$root/docs/exports.md" "$stage/$name/docs/"
mkdir -p "$out"
rm -f "$out/$name.zip"
(cd "$stage" && zip -qr -X "$out/$name.zip" "$name")
echo "$out/$name.zip"
