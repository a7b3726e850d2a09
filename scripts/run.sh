#!/bin/bash
# Builds the toy and runs it from a folder holding its three pop sounds.
# With a display it runs interactively under Wine. Without one it runs a short
# demo on a virtual screen: full screen, F12 to window mode, F12 back, Esc;
# it keeps screenshots and a recording of the pops and says what happened.
# shellcheck source=scripts/runner.sh
. "$(dirname "$0")/runner.sh"
runner_build x86 release_zip
runner_build x64 plimbadoosh probe

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
  if [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "On Wayland the full screen shows unscaled in the monitor's top-left corner; F12 gives window mode (README: On a Wayland desktop)."
  fi
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
# The recording keeps real time, so that it is as long as the demo.
TESTBED_REAL_TIME_CAPTURE=1 runner_testbed demo "$play/plimbadoosh.exe"
echo "Demo on a virtual screen ($DISPLAY), about fifteen seconds..."
e2e_stage
started="$(date +%s%N)"
e2e_start
# The scene plays a few seconds in each mode, so that pops are heard; the
# screenshots are taken once the scene shows.
modes=()
if e2e_probe window "$FULL_TITLE" 20 >/dev/null; then modes+=("full screen"); fi
e2e_wait_scene "$demo/fullscreen.png" 1024x768+0+0 10 >/dev/null || true
sleep 3
if e2e_toggle_to "$WINDOW_TITLE"; then
  modes+=("window mode")
  e2e_wait_scene "$demo/window.png" "$(e2e_client_region "$E2E_SAW")" 10 >/dev/null || true
  sleep 3
  if e2e_toggle_to "$FULL_TITLE"; then modes+=("full screen"); fi
  sleep 2
fi
e2e_key Escape
e2e_wait_exit 15
ran="$((($(date +%s%N) - started) / 10000000))"

e2e_capture "$demo/pops.wav" 2>/dev/null || true
rms="$(sox "$demo/pops.wav" -n stat 2>&1 | awk -F: '/RMS +amplitude/ {gsub(/ /, "", $2); print $2}')"
seconds="$(sox "$demo/pops.wav" -n stat 2>&1 | awk -F: '/Length/ {gsub(/ /, "", $2); print $2}')"
pops="$(e2e_capture_pops)"

echo
echo "Exit status:   $E2E_STATUS"
echo "Ran:           $((ran / 100)).$(printf %02d $((ran % 100))) s, from start to exit"
echo "Modes seen:    ${modes[*]:-none}"
echo "Pops heard:    $pops onsets in $(printf %.2f "${seconds:-0}") s of recording (RMS ${rms:-0}) -> $demo/pops.wav"
echo "Screenshots:   $demo/fullscreen.png, $demo/window.png"
