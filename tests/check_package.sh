#!/usr/bin/env bash
# The release package of scripts/package.sh: every file in the zip, the DLL as built (its exports
# are checked by dll_exports), a C host built from the package alone (header + MinGW import
# library) and one linked the Visual C++ way (lld-link) against s470_pc.lib, both importing the
# plain names.
# What the exports do is run under Wine by the integration tests, on the same sources.
# Usage: check_package.sh SOURCE_DIR BUILD_DIR
set -u
src=$1 build=$2
fail() { echo "FAIL: $*"; exit 1; }
work=$build/package-test
rm -rf "$work" && mkdir -p "$work"
zip=$("$src/scripts/package.sh" "$build" "$work") || fail "package.sh failed"
name=$(basename "$zip" .zip)
[ "$name" = "s470_pc-3.2.0.0-win32" ] || fail "package named $name"
listing=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
want=$(printf "$name/%s\n" bin/s470_pc.dll bin/s470.exe bin/fwscramble.exe include/s470_pc.h lib/s470_pc.def \
  lib/libs470_pc.dll.a lib/s470_pc.lib docs/exports.md | sort)
[ "$listing" = "$want" ] || fail "zip holds:"$'\n'"$listing"
(cd "$work" && unzip -q "$zip") || fail "unzip"
pkg=$work/$name
# The product DLL as built: its exports, imports and version are checked by dll_exports.
cmp -s "$pkg/bin/s470_pc.dll" "$build/bin/s470_pc.dll" || fail "the packed DLL is not the one built"

imports() {  # exe: the names it imports from s470_pc.dll, one a line, sorted
  i686-w64-mingw32-objdump -p "$1" | sed -n '/DLL Name: s470_pc.dll/,/^$/p' | awk 'NR > 2 && NF >= 3 {print $3}' | sort
}
i686-w64-mingw32-gcc -Wall -Wextra -Werror -I "$pkg/include" "$src/tests/package/example_host.c" \
  -L "$pkg/lib" -ls470_pc -o "$work/example_host.exe" || fail "the C host does not build from the package"
[ "$(imports "$work/example_host.exe")" = "$(printf '%s\n' RS470_CloseSetup RS470_GetChar RS470_GetInt \
  RS470_OpenSetup RS470_SetChar RS470_SetInt)" ] || fail "the C host imports: $(imports "$work/example_host.exe")"
clang-14 --target=i686-pc-windows-msvc -fshort-wchar -c "$src/tests/package/msvc_host.c" \
  -o "$work/msvc_host.obj" &&
  lld-link-14 /nologo /safeseh:no /entry:start /subsystem:console /nodefaultlib \
    /out:"$work/msvc_host.exe" "$work/msvc_host.obj" "$pkg/lib/s470_pc.lib" \
    /usr/i686-w64-mingw32/lib/libkernel32.a >/dev/null || fail "no link against s470_pc.lib"
[ "$(imports "$work/msvc_host.exe")" = "$(printf '%s\n' RS470_CloseSetup RS470_OpenSetup RS470_SetInt)" ] ||
  fail "the Visual C++ host imports: $(imports "$work/msvc_host.exe")"

echo "package $name: files, the DLL as built, MinGW and Visual C++ import libraries"
