#!/usr/bin/env bash
# Checks the DLL's export table (exactly the twelve plain names), its imports (system DLLs only)
# and its version resource (3.2.0.0). Usage: check_dll.sh OBJDUMP DLL PROCESSOR
set -u
objdump=$1 dll=$2 processor=${3:-i686}
fail() { echo "FAIL: $*"; exit 1; }
dump=$("$objdump" -p "$dll") || fail "objdump failed"
exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | tail -n +2 | grep -oE '\] [A-Za-z0-9_@]+' | cut -c3- | sort)
want=$(printf '%s\n' RS470_Analysis RS470_CloseSetup RS470_Firmware RS470_GetChar RS470_GetInt \
  RS470_OpenSetup RS470_QLB_Prog RS470_ReadFile RS470_SetChar RS470_SetInt RS470_Setup RS470_WriteFile | sort)
[ "$exports" = "$want" ] || fail "exports differ:"$'\n'"$exports"
imports=$(printf '%s\n' "$dump" | grep -oE 'DLL Name: .*' | cut -c11- | tr 'a-z' 'A-Z' | sort -u)
for name in $imports; do
  case "$name" in KERNEL32.DLL|USER32.DLL|GDI32.DLL|ADVAPI32.DLL|MSVCRT.DLL) ;; *) fail "imports $name";; esac
done
# Functions the DLL must not import: absent from the older Windows it runs on (9x, NT 4), and
# the sign that a threads runtime (winpthread) was linked in.
modern=$(printf '%s\n' "$dump" | grep -oE '\b(GetTickCount64|QueueUserAPC|AddVectoredExceptionHandler|TryEnterCriticalSection|InitializeCriticalSectionAndSpinCount|GetHandleInformation|SetProcessAffinityMask|pthread_[a-z_]+)\b' | sort -u)
# (The x86_64 test build links GoogleTest's threads runtime: only the i686 product is held to it.)
[ -z "$modern" ] || [ "$processor" != i686 ] || fail "imports functions older Windows lacks: $(echo $modern)"
# VS_FIXEDFILEINFO: signature 0xFEEF04BD, structure version 1.0, file and product version
# 3.2.0.0; and the version text "3, 2, 0, 0" in UTF-16.
LC_ALL=C grep -qaP '\xbd\x04\xef\xfe\x00\x00\x01\x00(\x02\x00\x03\x00\x00{4}){2}' "$dll" &&
  LC_ALL=C grep -qaP '3\x00,\x00 \x002\x00,\x00 \x000\x00,\x00 \x000\x00' "$dll" ||
  fail "version resource is not 3.2.0.0"
echo "exports: $(echo $exports | wc -w) plain names; imports: $(echo $imports); version 3.2.0.0"
