#!/usr/bin/env bash
# The main job: builds everything, then drives the product, the i686 s470_pc.dll, under 32-bit Wine
# through the host program as a real host would, against simulated devices on pseudo-terminals that Wine sees as COM ports:
#   1. creates a setup file, sets and reads back values, closes it and shows the file;
#   2. reads the setup memory of a simulated gauge on COM2 into it, changes it, writes it back;
#   3. analyses a simulated QLBus with three modules on COM5 and shows "Analysis.txt";
#   4. turns a HEX file into a scrambled firmware file and back with fwscramble;
#   5. reaches the same simulated devices from the s470 command-line tool, natively;
#   6. flashes a simulated module on COM4 through the access-code and firmware dialogs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
echo "Building (win32 product, win64, native simulators and tools)..."
bash scripts/build.sh >build-demo.log 2>&1 || { tail -n 40 build-demo.log; exit 1; }
rm -f build-demo.log
root=$PWD
build=win32
native=$root/build/native
work=$root/build/demo
rm -rf "$work" && mkdir -p "$work" && cd "$work"
host() { "$root/cmake/wine-run.sh" "$root/build/$build/wineprefix" "$root/build/$build/bin/host.exe" "$@" 2>/dev/null; }
# The first run makes the Wine prefix. Without 32-bit Wine an i686 program ends silently.
if ! { /usr/lib/wine/wine --version >/dev/null 2>&1 && host get 0 | grep -q "host end"; }; then
  echo "NO i686 RUN: 32-bit Wine (wine32:i386) cannot run programs here; the demo drives the x86_64 build instead."
  build=win64
  host get 0 >/dev/null
fi
prefix=$root/build/$build/wineprefix
echo "Driving build/$build/bin/s470_pc.dll"
sims=()
cleanup() { for p in "${sims[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT
start_sim() {  # name args... ; waits for "ready"
  local name=$1; shift
  "$native/$name" "$@" >"$name.out" 2>"$name.err" &
  sims+=($!)
  for _ in $(seq 100); do grep -q ready "$name.out" 2>/dev/null && return 0; sleep 0.05; done
  echo "$name did not start"; cat "$name.err"; exit 1
}
nonzero() { od -A d -t x1 -v "$1" | grep -vE '^[0-9]+( 00){16}$' | head -n "${2:-12}"; }

echo
echo "== 1. A new setup file through the exports (host.exe -> s470_pc.dll)"
host open demo.s47 get 0 get 1 setint 2000 0x0041 getint 2000 close
echo "   demo.s47: $(stat -c %s demo.s47) bytes; the bytes that are not zero:"
nonzero demo.s47

echo
echo "== 2. Setup transfer with a simulated gauge on COM2"
python3 -c "import sys; sys.stdout.buffer.write(bytes((i * 7 + 1) % 256 for i in range(768)))" >gauge.mem
start_sim gauge_sim --link "$prefix/dosdevices/com2" --memory gauge.mem --id R/S470-ae1
host open demo.s47 read 2 0x0001 get 255 get 256 get 1023 set 300 0x5A write 2 0x0001 close \
  | grep -vE '^DIALOG'
echo "   The gauge's memory after the write (byte 300-256 = 44 is now 0x5a):"
od -A d -t x1 -j 32 -N 32 gauge.mem
echo "   Texts of the progress dialog during a second read, as the host saw them:"
host open demo.s47 read 2 0x0001 close | grep -E '^DIALOG' | sed -n 1,8p
echo "   Without a gauge on COM3 (brand 1, German): the failure message"
host open demo.s47 read 3 0x0102 close | grep -E '^(MSGBOX|read)'

echo
echo "== 3. Bus analysis of a simulated QLBus on COM5 with three modules"
start_sim bus_sim --link "$prefix/dosdevices/com5" --module QLB-mc1,0x10,0x23,4711 \
  --module QLB-ai8,0x21,0x14,12345678 --module QLB-do4,0x11,0x30,7
host analysis 5 0x0001
echo "   Analysis.txt:"
sed 's/^/     /' Analysis.txt
echo "   Notepad was started as: $(cat notepad-calls.txt 2>/dev/null)"

echo
echo "== 4. Firmware files: plain Intel HEX <-> scrambled file (fwscramble)"
head -c 64 /dev/urandom >fw.bin
srec_cat fw.bin -binary -offset 0x800 -o fw.hex -intel -address-length=2 -crlf -line-length=44
"$native/fwscramble" scramble fw.hex fw_scrambled.bin
"$native/fwscramble" unscramble fw_scrambled.bin fw_back.hex
echo "   fw.hex:"
sed 's/^/     /' fw.hex
echo "   scrambled (first bytes):"
od -A d -t x1 -N 32 fw_scrambled.bin | sed 's/^/     /'
cmp -s fw.hex fw_back.hex && echo "   unscrambled again: identical to fw.hex"

echo
echo "== 5. The same devices from the s470 command-line tool (native Linux, no Wine)"
tool() {  # prints the command, its output and its exit status
  echo "   \$ s470 ${*//$prefix/<prefix>}"
  local rc=0
  "$native/s470" "$@" >tool.out 2>&1 || rc=$?
  sed "s|$prefix|<prefix>|g; s/^/     /" tool.out
  echo "     (exit status $rc)"
}
tool -q read-setup --port "$prefix/dosdevices/com2" tool.s47
tool analyse --port "$prefix/dosdevices/com5" --json
tool read-setup --port "$prefix/dosdevices/com3" tool.s47

echo
echo "== 6. Firmware programming of a simulated module on COM4 (processor type 12, serial 4711)"
head -c 6144 /dev/urandom >fw6k.bin
srec_cat fw6k.bin -binary -offset 0x800 -o S470.hex -intel -address-length=2 -crlf -line-length=44
"$native/fwscramble" scramble S470.hex S470.bin
start_sim boot_sim --link "$prefix/dosdevices/com4" --serial 4711 --flash flash.bin
printf '%s\n' "wait Access code" "settext 100 kdwz" "click 1" "gone Access code" "wait Firmware programming" \
  "select 11 1" "click 100" "waittext 203  Module is programmed successfully" "text 201" "text 203" \
  "click 2" >firmware.script
echo "   Access code typed: kdwz; module choice 1 (S470); the status texts as they appeared:"
host --script firmware.script firmware 4 0x0001 >firmware.out
grep -E '^DIALOG Firmware programming\|203=' firmware.out | sed 's/^DIALOG Firmware programming|203=/     /' \
  | uniq | awk 'NR <= 12 || /RESET|successfully/'
grep -E '^TEXT' firmware.out | sed 's/^/   /'
python3 - <<'PY'
data = bytearray(open("fw6k.bin", "rb").read())
for i, at in enumerate((0x34, 0x38, 0x3C, 0x40)):
    data[at] = (4711 >> (24 - 8 * i)) & 0xFF
flash = open("flash.bin", "rb").read()[0x800:0x2000]
print("   The module's flash 0x800-0x1FFF " + ("equals" if flash == bytes(data) else "DIFFERS from")
      + " the file's image with the serial number 4711 at 0x834, 0x838, 0x83C, 0x840")
PY

echo "   The same module programmed again from the s470 tool (status lines; counted ones shortened):"
tool flash --port "$prefix/dosdevices/com4" --module gauge --code kdwz
echo
echo "Demo done; the files are in $work"
