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
# VS_FIXEDFILEINFO: signature 0xFEEF04BD, then struct version, then file version MS/LS words.
python3 - "$dll" <<'PY' || fail "version resource is not 3.2.0.0"
import struct, sys
data = open(sys.argv[1], 'rb').read()
i = data.find(struct.pack('<I', 0xFEEF04BD))
assert i >= 0
ms, ls, pms, pls = struct.unpack_from('<IIII', data, i + 8)
assert (ms, ls, pms, pls) == (0x00030002, 0, 0x00030002, 0), (hex(ms), hex(ls))
assert '3, 2, 0, 0'.encode('utf-16-le') in data
PY
echo "exports: $(echo $exports | wc -w) plain names; imports: $(echo $imports); version 3.2.0.0"
