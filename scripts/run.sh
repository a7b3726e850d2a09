#!/bin/bash
# Builds the toy and runs it from a folder holding its three pop sounds.
# With a display it runs interactively under Wine. Without one it runs a short
# demo on a virtual screen: full screen, F12 to window mode, F12 back, Esc;
# it keeps screenshots and a recording of the pops and says what happened.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
# shellcheck source=scripts/wine.sh
. scripts/wine.sh
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 --target release_zip
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 --target plimbadoosh probe

# The release as a user unpacks it: the 32-bit toy and its sounds. Where this
# machine cannot run 32-bit programs, the 64-bit build of the same toy plays.
play="$root/build/play"
rm -rf "$play"
mkdir -p "$play"
unzip -oq build/x86/plimbadoosh.zip -d "$play"
if ! wine_can_run_32bit; then
  echo "This machine cannot run 32-bit programs; playing the 64-bit build."
  cp build/x64/plimbadoosh.exe "$play/"
fi

if [ -n "${DISPLAY:-}" ]; then
  # A Wine prefix of the toy's own, so neither its settings nor a remade prefix
  # ever touch the user's own Wine; Wine's messages go to a log, not the terminal.
  export WINEPREFIX="$root/build/wine-prefix"
  log="$root/build/wine.log"
  echo "Running $play/plimbadoosh.exe (F12: window/full screen, Esc: quit); Wine's messages: $log"
  wine_prepare_prefix >"$log" 2>&1
  wine_apply_settings >>"$log" 2>&1
  cd "$play"
  status=0
  wine plimbadoosh.exe </dev/null >>"$log" 2>&1 || status=$?
  exit "$status"
fi

demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
# shellcheck source=scripts/testbed.sh
. scripts/testbed.sh
testbed_start build/demo-testbed
: >"$PLIMBA_CAPTURE"

probe() { wine "$root/build/x64/tools/probe.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
key() { xdotool keydown "$1"; sleep 0.3; xdotool keyup "$1"; }
have_probe=0
[ -f build/x64/tools/probe.exe ] && have_probe=1

echo "Demo on a virtual screen ($DISPLAY), about ten seconds..."
(cd "$play" && exec wine plimbadoosh.exe </dev/null >/dev/null 2>&1) &
toy=$!

modes=()
[ $have_probe = 1 ] && probe window "F12 for window-mode and back" 20 >/dev/null && modes+=("full screen")
sleep 3
import -display "$DISPLAY" -window root "$demo/fullscreen.png"
key F12
[ $have_probe = 1 ] && probe window "plimbadoosh  -   press F12 for fullscreen and back  -  esc for quit" 10 >/dev/null &&
  modes+=("window mode")
sleep 3
import -display "$DISPLAY" -window root "$demo/window.png"
key F12
[ $have_probe = 1 ] && probe window "F12 for window-mode and back" 10 >/dev/null && modes+=("full screen")
sleep 2
key Escape

status=timeout
for _ in $(seq 1 300); do
  if ! kill -0 "$toy" 2>/dev/null; then
    status=0
    wait "$toy" || status=$?
    break
  fi
  sleep 0.05
done
[ "$status" = timeout ] && kill "$toy" 2>/dev/null

sox -t raw -r 44100 -e signed -b 16 -c 2 "$PLIMBA_CAPTURE" "$demo/pops.wav" 2>/dev/null || true
rms="$(sox "$demo/pops.wav" -n stat 2>&1 | awk -F: '/RMS +amplitude/ {gsub(/ /, "", $2); print $2}')"
seconds="$(sox "$demo/pops.wav" -n stat 2>&1 | awk -F: '/Length/ {gsub(/ /, "", $2); print $2}')"
# Pops: rises of the 10 ms envelope from quiet to loud.
pops="$(sox "$demo/pops.wav" -r 1000 -c 1 -t dat - 2>/dev/null | awk '
  /^;/ { next }
  { s += ($2 < 0 ? -$2 : $2); if (++n == 10) { level = s / n; s = n = 0
      if (!loud && level > 0.02) { pops++; loud = 1 } else if (loud && level < 0.005) loud = 0 } }
  END { print pops + 0 }')"

echo
echo "Exit status:   $status"
echo "Modes seen:    ${modes[*]:-(probe unavailable)}"
echo "Pops heard:     $pops onsets in ${seconds:-0} s (RMS ${rms:-0}) -> $demo/pops.wav"
echo "Screenshots:   $demo/fullscreen.png, $demo/window.png"
