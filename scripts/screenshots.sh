#!/usr/bin/env bash
# Pictures of the system's dialogs, drawn by the real build: the host program, s470_pc.dll and the
# stand-in Language DLL (x86_64 build) under Wine's X11 driver on a virtual screen (Xvfb, 96 dpi),
# in English (language 1) and German (language 2), written to docs/images/<dialog>-<en|de>.png.
# Not part of the tests. Uses a Wine prefix of its own: build/screenshots/wineprefix.
#
#   bash scripts/screenshots.sh            every dialog
#   SHOTS="20 31" bash scripts/screenshots.sh   only these groups: 10 (with 11 and 12), 20, 31
#                                              (with 40), 40, ddk
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/screenshots
prefix=$work/wineprefix
images=$root/docs/images
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)

if [ "${1:-}" != --on-screen ]; then
  bash scripts/deps.sh
  extra=()
  for p in xvfb xauth imagemagick x11-utils; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || extra+=("$p")
  done
  if [ ${#extra[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${extra[*]}"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${extra[@]}" >/dev/null
  fi
  echo "Building the x86_64 DLL, stand-ins and host, and the native simulators..."
  # Only what the pictures need (the whole build is for the tests).
  build() {  # preset target...: builds the targets that this tree has
    local preset=$1; shift
    cmake --preset "$preset" >/dev/null
    local have targets=()
    have=$(ninja -C "build/$preset" -t targets all | cut -d: -f1)
    for t in "$@"; do grep -qx "$t" <<<"$have" && targets+=("$t"); done
    cmake --build --preset "$preset" -j2 --target "${targets[@]}" >/dev/null
  }
  build win64 host.exe s470_pc.dll ORV_LangWinNT.DLL ORV_DDK.DLL
  build native gauge_sim boot_sim bus_sim fwscramble
  mkdir -p "$work" "$images"
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96 -nolisten tcp" bash "$0" --on-screen
fi

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
bin=$root/build/win64/bin
native=$root/build/native
if [ ! -e "$prefix/.s470-x11-ready" ]; then
  echo "Making the Wine prefix (X11 driver)..."
  rm -rf "$prefix"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  # Wine draws the frames and captions itself: no window manager runs on the virtual screen.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
  wineserver -w
  # Debian's wine64 does not find its own TrueType fonts: without them "MS Shell Dlg" falls back
  # to a bitmap font and the caption's close button shows Marlett's letter instead of its cross.
  cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" ||
    echo "Wine's TrueType fonts (package fonts-wine) are missing: the pictures use bitmap fonts"
  touch "$prefix/.s470-x11-ready"
fi

sims=()
host_pid=""
cleanup() {
  for p in "${sims[@]}" $host_pid; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  wineserver -k 2>/dev/null || true  # this prefix's server only
}
trap cleanup EXIT
cd "$work"
rm -f ./*.go host.out

start_sim() {  # name args...: waits for "ready"
  local name=$1; shift
  "$native/$name" "$@" >"$name.out" 2>"$name.err" &
  sims+=($!)
  for _ in $(seq 100); do grep -q ready "$name.out" 2>/dev/null && return 0; sleep 0.05; done
  echo "$name did not start"; cat "$name.err"; exit 1
}
stop_sims() {
  for p in "${sims[@]}"; do kill "$p" 2>/dev/null || true; done
  wait "${sims[@]}" 2>/dev/null || true
  sims=()
}

# The visible top-level X window whose name holds the caption part.
window_of() {
  local id
  for id in $(xwininfo -root -children | grep -F "\"" | grep -F -- "$1" | awk '{print $1}'); do
    xwininfo -id "$id" | grep -q IsViewable && { echo "$id"; return 0; }
  done
  return 1
}

# snap PATTERN NAME CAPTION [SETTLE|stop]: once the host's output has a line matching PATTERN,
# waits SETTLE seconds for the drawing to finish, takes the window with CAPTION in its name as
# docs/images/NAME.png and lets the host go on (NAME.go). "stop" holds the host still instead
# while the picture is taken (a transfer does not wait for anybody).
snap() {
  local pattern=$1 name=$2 caption=$3 settle=${4:-0.7} id=""
  for _ in $(seq 1500); do
    grep -qE -- "$pattern" host.out 2>/dev/null && break
    kill -0 "$host_pid" 2>/dev/null || break
    sleep 0.02
  done
  if [ "$settle" = stop ]; then kill -STOP "$host_pid" 2>/dev/null || true; else sleep "$settle"; fi
  if grep -qE -- "$pattern" host.out && id=$(window_of "$caption"); then
    import -window "$id" -strip -define png:exclude-chunks=date,time "$images/$name.png"
    echo "  $name.png  ($(identify -format '%wx%h' "$images/$name.png"))"
  else
    echo "  $name: no window \"$caption\" (host said:)"; sed 's/^/    /' host.out | tail -n 5
    missing+=("$name")
  fi
  [ "$settle" = stop ] && kill -CONT "$host_pid" 2>/dev/null
  touch "$name.go"
}

# dialogs SCRIPT HOST-ARGS...: runs the host with a dialog script in the background. In SCRIPT,
# "shot NAME" stands for the host's "file NAME.go": the host waits there while snap takes the
# picture.
dialogs() {
  local script=$1; shift
  sed -E 's/^shot (.*)$/file \1.go/' <<<"$script" >script.txt
  "$wine" "$bin/host.exe" --script script.txt "$@" >host.out 2>host.err &
  host_pid=$!
}
host_done() {
  for _ in $(seq 300); do kill -0 "$host_pid" 2>/dev/null || break; sleep 0.1; done
  kill "$host_pid" 2>/dev/null && echo "  the host did not end: stopped"
  wait "$host_pid" 2>/dev/null || true
  host_pid=""
}
shot() {  # NAME CAPTION: the host's "shot NAME" line is reached
  snap "SCRIPT awaits file $1.go" "$1" "$2"
}

want() { [ -z "${SHOTS:-}" ] || [[ " $SHOTS " == *" $1 "* ]]; }
missing=()
for lang in 1 2; do
  if [ $lang = 1 ]; then l=en; setup="ORV S470 Setup"; channel="Channel  1"; general="General settings"
    read="Read setup"
  else l=de; setup="ORV S470 Einstellungen"; channel="Kanal  1"; general="Allgemeine Einstellungen"
    read="Einstellungen aus"; fi
  if want 10 || want 20; then echo "Language $lang ($l):"; fi

  # Setup dialog 10, channel dialog 11 and general settings dialog 12 on a new (defaulted) setup;
  # nothing is saved.
  rm -f shots.s47
  want 10 && {
  dialogs "wait $setup
shot 10-setup-$l
click 111
wait $channel
shot 11-channel-$l
click 2
gone $channel
wait $setup
click 126
wait $general
shot 12-general-$l
click 2
gone $general
wait $setup
click 2" open shots.s47 setup $lang close
  shot "10-setup-$l" "$setup"
  shot "11-channel-$l" "$channel"
  shot "12-general-$l" "$general"
  host_done
  }

  # Progress dialog 20 in the middle of a read from the simulated gauge (paced at the line rate).
  # The host is held still from 512 of 1024 on; the read may then time out, which the host's
  # answered message box takes care of.
  want 20 && {
  start_sim gauge_sim --link "$prefix/dosdevices/com2" --pace
  dialogs "" open shots.s47 read 2 $lang close
  snap ": 512 / 1024" "20-progress-$l" "$read" stop
  host_done
  stop_sims
  }
done

# Access-code dialog 31 (code typed) and firmware dialog 40 half-way through programming a
# simulated module (processor type 12) with a firmware file of 6 KB of random data.
if want 31 || want 40; then
  head -c 6144 /dev/urandom >fw.bin
  srec_cat fw.bin -binary -offset 0x800 -o S470.hex -intel -address-length=2 -crlf -line-length=44
  "$native/fwscramble" scramble S470.hex S470.bin
  for lang in 1 2; do
    if [ $lang = 1 ]; then l=en; else l=de; fi
    echo "Language $lang ($l):"
    start_sim boot_sim --link "$prefix/dosdevices/com4" --serial 4711 --flash flash.bin
    dialogs "wait Access code
settext 100 kdwz
shot 31-access-code-$l
click 1
gone Access code
wait Firmware programming
select 11 1
click 100
waittext 203  Module is programmed successfully
click 2" firmware 4 $lang
    shot "31-access-code-$l" "Access code"
    snap "203= Programming -> [4-6][0-9]" "40-firmware-$l" "Firmware programming" stop
    host_done
    stop_sims
  done
fi

# The stand-in Device-setup DLL's own dialog, called by RS470_QLB_Prog after the bus start
# sequence on a simulated QLBus (the "Attention" box before it is answered by the host).
if want ddk; then
  if [ -e "$bin/ORV_DDK.DLL" ]; then
    printf 'QLB\r\n' >S470.DDK
    for lang in 1 2; do
      if [ $lang = 1 ]; then l=en; else l=de; fi
      echo "Language $lang ($l):"
      start_sim bus_sim --link "$prefix/dosdevices/com5" --module QLB-mc1,0x10,0x23,4711
      dialogs "wait Device setup
shot ddk-device-setup-$l
click 1" qlb 5 $lang
      shot "ddk-device-setup-$l" "Device setup"
      host_done
      stop_sims
    done
  else
    echo "  ddk-device-setup: skipped, this tree has no stand-in ORV_DDK.DLL"
  fi
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "No picture of: ${missing[*]}"
  exit 1
fi
echo "Pictures in docs/images"
