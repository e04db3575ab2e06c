#!/usr/bin/env bash
# Runs a PE program under Wine in a private prefix: wine-run.sh PREFIX PROGRAM [ARGS...]
# One 64-bit prefix runs x86_64 and, with 32-bit Wine (wine32:i386) installed, i686 programs.
# The prefix is made once (null graphics driver: dialogs work headless); a wineserver is kept
# alive between runs so each run starts warm.
set -eu
prefix=$(realpath -m "$1"); shift
# The prefix is made afresh when it is not ready, so insist on a folder meant for it.
case "$(basename "$prefix")" in
  wineprefix*) ;;
  *) echo "wine-run.sh: the first argument must be a Wine prefix folder named wineprefix*" >&2; exit 2 ;;
esac
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -x "$wine" ] || wine=$(command -v wine)
# Descriptors a test runner passes down (its log, its pipes) must not reach Wine's long-lived
# processes, or the runner waits for them to end.
for fd in /proc/$$/fd/*; do
  n=${fd##*/}
  if [ "$n" -gt 2 ] && [ "$n" -ne 255 ]; then eval "exec $n>&-"; fi
done
mkdir -p "$(dirname "$prefix")"
if [ ! -e "$prefix/.s470-ready" ]; then
  (
    flock 9
    if [ ! -e "$prefix/.s470-ready" ]; then
      rm -rf "$prefix"
      # Through the 64-bit loader: Debian's wineboot script would take the 32-bit one when
      # wine32 is installed, which a machine without 32-bit support cannot start.
      "$wine" wineboot.exe -i >/dev/null 2>&1 || true
      "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
      wineserver -w
      touch "$prefix/.s470-ready"
    fi
  ) 9>"$prefix.lock"
fi
# Keep one server alive for a minute after the last client (quietly: an inherited pipe would
# hold the caller's output open).
flock -o -n "$prefix.server" wineserver -p60 </dev/null >/dev/null 2>&1 || true
# Wine's background services, started by the first program of a server, inherit its standard
# error: let that be a file, not the caller's pipe.
errors=$(mktemp)
status=0
"$wine" "$@" 2>"$errors" || status=$?
cat "$errors" >&2
rm -f "$errors"
exit "$status"
