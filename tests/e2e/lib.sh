#!/bin/bash
# Shared steps of the end-to-end scripts: each runs the real plimbadoosh.exe
# under Wine in the test bed, drives it with real X key events and looks at
# it from outside (screenshots) and from a probe program inside Wine.
set -euo pipefail

E2E_BUILD="$(cd "$1" && pwd)"
# shellcheck disable=SC1091
. "${E2E_TESTBED:-$E2E_BUILD/testbed}/env"
# The toy under test (this build's unless another, such as the 32-bit one, is
# given) and the name it runs under: the toy's Wine settings are keyed by its
# name, so another name runs it with Wine's defaults.
E2E_PROGRAM="${2:-$E2E_BUILD/plimbadoosh.exe}"
E2E_SOUNDS="$(dirname "$E2E_PROGRAM")"
E2E_EXE="${E2E_EXE:-plimbadoosh.exe}"
E2E_NAME="$(basename "$0" .sh)${3:+.$3}"
E2E_RUN="$E2E_BUILD/e2e-runs/$E2E_NAME"
E2E_PID=
FULL_TITLE="F12 for window-mode and back"
START_TITLE="plimbadoosh  -   press F12 to toggle fullscreen mode  -  esc for quit"
WINDOW_TITLE="plimbadoosh  -   press F12 for fullscreen and back  -  esc for quit"

rm -rf "$E2E_RUN"
mkdir -p "$E2E_RUN"
[ -f "$E2E_PROGRAM" ] || fail "no program at $E2E_PROGRAM"
if [[ "$(x86_64-w64-mingw32-objdump -f "$E2E_PROGRAM")" == *pei-i386* ]] && ! wine_can_run_32bit; then
  echo "SKIP: this machine cannot run 32-bit Windows programs (no wine32, or a kernel without 32-bit support)"
  exit 77
fi

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

e2e_cleanup() {
  if [ -n "$E2E_PID" ] && kill -0 "$E2E_PID" 2>/dev/null; then
    # Kill only the toy, so that the shared wineserver stays warm.
    wine "$E2E_BUILD/tools/probe.exe" kill >/dev/null 2>&1 || true
    kill "$E2E_PID" 2>/dev/null || true
    wait "$E2E_PID" 2>/dev/null || true
  fi
  E2E_PID=
}
trap e2e_cleanup EXIT

# A folder with the program and its three sounds, as a user would have it.
e2e_stage() {
  rm -rf "${E2E_RUN:?}"/*
  cp "$E2E_PROGRAM" "$E2E_RUN/$E2E_EXE"
  cp "$E2E_SOUNDS/pop+1.wav" "$E2E_SOUNDS/pop-0.wav" "$E2E_SOUNDS/pop-1.wav" "$E2E_RUN/"
}

# Starts the toy in the staged folder; extra arguments go on its command line.
e2e_start() {
  : >"$PLIMBA_CAPTURE"
  (cd "$E2E_RUN" && exec wine "$E2E_EXE" "$@" </dev/null >"$E2E_RUN/stdout.log" 2>"$E2E_RUN/stderr.log") &
  E2E_PID=$!
}

# Waits for the toy to end and sets E2E_STATUS to its exit status, or to
# "timeout". (Not run in a subshell: only this shell can wait for the toy.)
e2e_wait_exit() {
  local seconds="$1" i
  E2E_STATUS=timeout
  for i in $(seq 1 $((seconds * 20))); do
    if ! kill -0 "$E2E_PID" 2>/dev/null; then
      E2E_STATUS=0
      wait "$E2E_PID" || E2E_STATUS=$?
      E2E_PID=
      return 0
    fi
    sleep 0.05
  done
}

e2e_probe() {
  wine "$E2E_BUILD/tools/probe.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'
}

# DirectInput only reports a key that was down during one of its 50 ms polls,
# so a press is held across several polls before it is let go.
e2e_key() {
  xdotool keydown "$1"
  sleep "${E2E_KEY_HOLD:-0.3}"
  xdotool keyup "$1"
}

# Lets go of F12 until a window titled $1 shows, and prints what the probe
# saw of it. On a busy machine one frame can outlast the held press, which
# DirectInput then never sees; such a press is made again.
e2e_toggle_to() {
  local attempt info
  for attempt in 1 2 3; do
    e2e_key F12
    info="$(e2e_probe window "$1" 10)" && { echo "$info"; return 0; }
  done
  echo "$info"
  return 1
}

e2e_screenshot() {
  import -display "$DISPLAY" -window root "$1"
}

# "r g b" of one pixel of a screenshot.
e2e_pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r+0.5)] %[fx:int(255*p{$2,$3}.g+0.5)] %[fx:int(255*p{$2,$3}.b+0.5)]" info:
}

# "count r g b" lines of the colours in a region WxH+X+Y, most frequent first.
e2e_colours() {
  convert "$1" -crop "$2" +repage -format %c histogram:info:- |
    sed -E 's/^ *([0-9]+):.*\( *([0-9.]+), *([0-9.]+), *([0-9.]+).*/\1 \2 \3 \4/' |
    awk '{printf "%d %d %d %d\n", $1, $2, $3, $4}' | sort -rn
}

# Waits until a screenshot shows the scene in the region: its most frequent
# colour is a background (blue 255, red equal to green within the display's
# 16-bit rounding). Leaves the shot in $1 and prints "r g b" of the background.
e2e_wait_scene() {
  local shot="$1" region="$2" seconds="$3" i count r g b
  for i in $(seq 1 $((seconds * 5))); do
    e2e_screenshot "$shot"
    read -r count r g b <<<"$(e2e_colours "$shot" "$region" | head -1)"
    if [ -n "$b" ] && [ "$b" -ge 247 ] && [ $((r > g ? r - g : g - r)) -le 8 ]; then
      echo "$r $g $b"
      return 0
    fi
    sleep 0.2
  done
  return 1
}
