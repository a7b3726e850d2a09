#!/bin/bash
# Shared steps of the end-to-end scripts, and of scripts/run.sh, soak.sh and
# exits.sh: each runs the real plimbadoosh.exe under Wine in the test bed, drives
# it with real X key and mouse events and looks at it from outside (screenshots,
# the captured sound) and from a probe program inside Wine.
#   . tests/e2e/lib.sh BUILD [PROGRAM [VARIANT]]
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

E2E_BUILD="$(cd "$1" && pwd)"
# shellcheck disable=SC1091
. "${E2E_TESTBED:-$E2E_BUILD/testbed}/env"
# The toy under test (this build's unless another, such as the 32-bit one, is
# given) and the name it runs under: the toy's Wine settings are keyed by its
# name, so another name runs it with Wine's defaults.
E2E_PROGRAM="${2:-$E2E_BUILD/plimbadoosh.exe}"
E2E_SOUNDS="$(dirname "$E2E_PROGRAM")"
E2E_EXE="${E2E_EXE:-plimbadoosh.exe}"
E2E_VARIANT="${3:-}"
E2E_RUN="$E2E_BUILD/e2e-runs/$(basename "$0" .sh)${3:+.$3}"
E2E_PID=
E2E_PROBE_PID=
FULL_TITLE="F12 for window-mode and back"
START_TITLE="plimbadoosh  -   press F12 to toggle fullscreen mode  -  esc for quit"
WINDOW_TITLE="plimbadoosh  -   press F12 for fullscreen and back  -  esc for quit"

rm -rf "$E2E_RUN"
mkdir -p "$E2E_RUN"
[ -f "$E2E_PROGRAM" ] || fail "no program at $E2E_PROGRAM"
# DirectInput reports a key only when it was down during one of the toy's polls,
# once a frame, so a press is held for longer than a frame: both builds' frames
# take 50 to 70 ms here.
if [[ "$(x86_64-w64-mingw32-objdump -f "$E2E_PROGRAM")" == *pei-i386* ]] && ! wine_can_run_32bit; then
  echo "SKIP: this machine cannot run 32-bit Windows programs (no wine32, or a kernel without 32-bit support)"
  exit 77
fi
E2E_KEY_HOLD="${E2E_KEY_HOLD:-0.15}"

# Ends the toy and a probe still running (killed inside Wine, so that the
# shared wineserver stays warm).
e2e_cleanup() {
  if [ -n "$E2E_PID$E2E_PROBE_PID" ]; then
    wine "$E2E_BUILD/tools/probe.exe" kill >/dev/null 2>&1 || true
    # shellcheck disable=SC2086
    kill $E2E_PID $E2E_PROBE_PID 2>/dev/null || true
    # shellcheck disable=SC2086
    wait $E2E_PID $E2E_PROBE_PID 2>/dev/null || true
  fi
  E2E_PID=
  E2E_PROBE_PID=
}

# Steps a script adds to its way out, run after the toy has been ended.
E2E_EXIT_STEPS=()
e2e_on_exit() {
  E2E_EXIT_STEPS+=("$1")
}

# On the way out, also the added steps and the test bed of a runner script
# that started one.
e2e_finish() {
  local step
  e2e_cleanup
  for step in "${E2E_EXIT_STEPS[@]}"; do $step || true; done
  if declare -F testbed_stop >/dev/null; then testbed_stop; fi
}
trap e2e_finish EXIT

# A folder with the program and its three sounds, as a user would have it.
e2e_stage() {
  rm -rf "${E2E_RUN:?}"/*
  cp "$E2E_PROGRAM" "$E2E_RUN/$E2E_EXE"
  cp "$E2E_SOUNDS/pop+1.wav" "$E2E_SOUNDS/pop-0.wav" "$E2E_SOUNDS/pop-1.wav" "$E2E_RUN/"
}

# Starts the toy in the staged folder with an empty recording; extra arguments
# go on its command line.
e2e_start() {
  : >"$PLIMBA_CAPTURE"
  (cd "$E2E_RUN" && exec wine "$E2E_EXE" "$@" </dev/null >"$E2E_RUN/stdout.log" 2>"$E2E_RUN/stderr.log") &
  E2E_PID=$!
}

# Starts the toy and waits for its full screen and the scene on it: from then on
# its frames run and it sees keys.
e2e_start_scene() {
  e2e_start "$@"
  e2e_probe window "$FULL_TITLE" 60 >/dev/null || fail "no full screen at start"
  e2e_wait_scene "$E2E_RUN/start.png" 1024x768+0+0 60 >/dev/null || fail "no scene at start"
}

# Runs the command in the other arguments until it succeeds, every 0.05 s for $1
# seconds at most (0: once); fails when the time ran out first. A condition
# given to eval reads its caller's variables, not positional parameters.
e2e_until() {
  local end=$((${EPOCHREALTIME/[.,]/} + $1 * 1000000))
  shift
  until "$@"; do
    [ "${EPOCHREALTIME/[.,]/}" -lt "$end" ] || return 1
    sleep 0.05
  done
}

# True once the toy (or the process $2) has ended, within $1 seconds. (Runs in
# a subshell too: it only looks; e2e_wait_exit collects the status.)
e2e_ended() {
  e2e_until "$1" eval "! kill -0 ${2:-$E2E_PID} 2>/dev/null"
}

# Waits up to $1 seconds for the toy to end and sets E2E_STATUS to its exit
# status, or to "timeout". (Not in a subshell: only this shell can wait for it.)
e2e_wait_exit() {
  E2E_STATUS=timeout
  e2e_ended "$1" || return 0
  E2E_STATUS=0
  wait "$E2E_PID" || E2E_STATUS=$?
  E2E_PID=
}

# Fails unless the toy ends with status 0 within 60 seconds; $1 says on what.
e2e_expect_exit() {
  e2e_wait_exit 60
  [ "$E2E_STATUS" = 0 ] || fail "$1: exit status $E2E_STATUS"
}

# The probe: 0 when its condition was met, 1 when not; any other end is the
# probe's own failure, told on standard error with what Wine said.
e2e_probe() {
  local status=0
  wine_start "$E2E_RUN/probe.log" "$E2E_BUILD/tools/probe.exe" "$@" </dev/null | tr -d '\r' || status=$?
  [ "$status" -le 1 ] || echo "the probe ($*) ended with $status: $(tr '\n' ' ' <"$E2E_RUN/probe.log")" >&2
  return "$status"
}

# The CPU time in ms that the toy's main thread, its frame loop, has used,
# read from /proc (Wine reports none for another process): of the Linux
# processes that run its file in this test bed's Wine prefix (a launcher that
# idles may be among them). Fails when there is none.
e2e_toy_cpu() {
  local process ticks=0 found=
  for process in /proc/[0-9]*; do
    # The command line: its Windows path (the 64-bit loader), or its name alone (the 32-bit one).
    [[ " $(tr '\0' ' ' 2>/dev/null <"$process/cmdline")" =~ [\ \\]"$E2E_EXE " ]] || continue
    grep -qzx "WINEPREFIX=$WINEPREFIX" "$process/environ" 2>/dev/null || continue
    ticks=$((ticks + $(awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "$process/task/${process#/proc/}/stat"))) && found=1
  done
  [ -n "$found" ] && echo $((ticks * 1000 / $(getconf CLK_TCK)))
}

# The number after "$1=" in the probe's line $2.
e2e_stat() {
  sed -E "s/.*$1=([0-9]+).*/\1/" <<<"$2"
}

# Runs the probe beside the script, its output straight into the file $1, and
# waits for its first line (the probe says when it is ready).
e2e_probe_start() {
  local log="$1"
  shift
  # Emptied here, not by the redirection below, which the background shell
  # may only make after the first look at the file.
  rm -f "$log"
  wine "$E2E_BUILD/tools/probe.exe" "$@" </dev/null >"$log" 2>/dev/null &
  E2E_PROBE_PID=$!
  e2e_until 20 eval '[ -s "$log" ] || ! kill -0 $E2E_PROBE_PID 2>/dev/null'
  [ -s "$log" ]
}

# Waits for the probe started beside the script and returns its status.
e2e_probe_wait() {
  local status=0
  wait "$E2E_PROBE_PID" || status=$?
  E2E_PROBE_PID=
  return "$status"
}

# Waits until the toy's window has shown $1 new frames; says how many it saw when not.
e2e_frames() {
  e2e_probe frames "$1" 30
}

# Presses keys: several go down together and up in the reverse order.
# DirectInput reads the whole keyboard once a frame, and a key that goes down
# and up between two reads is never seen: the keys stay down until the toy has
# shown two new frames, so that a read fell between them (and for the hold at
# least). Fails when no frames come.
e2e_key() {
  local key down=() up=() shown status=0
  for key; do
    down+=(keydown "$key")
    up=(keyup "$key" "${up[@]}")
  done
  xdotool "${down[@]}"
  sleep "$E2E_KEY_HOLD"
  shown="$(e2e_frames 2)" || status=$?
  xdotool "${up[@]}"
  [ "$status" = 0 ] || fail "$* held down: $shown"
}

# Presses key $1 once and waits for its effect: the check in the other
# arguments, which waits with a generous deadline of its own. A player whose
# key goes unseen notices at once, so a key is never pressed again (e2e_key
# holds it until a frame has read it). E2E_SAW keeps what the check printed and, when it failed, which key
# was pressed, the toy's windows then and which window had the keyboard.
e2e_press() {
  local key="$1"
  shift
  e2e_key "$key"
  E2E_SAW="$("$@")" && return 0
  E2E_SAW="$key pressed once, then: ${E2E_SAW:-the toy still runs}; windows: $(e2e_probe list |
    awk '/ visible=1 / { sub(/^[^ ]* /, ""); printf "%s; ", $0 }')X focus: $(xdotool getwindowfocus getwindowname 2>&1)"
  return 1
}

# F12, and waits for a window titled $1; E2E_SAW is what the probe saw of it.
e2e_toggle_to() {
  e2e_press F12 e2e_probe window "$1" 30
}

# Esc; fails unless the toy ends with status 0. $1 says after what.
e2e_quit() {
  e2e_press Escape e2e_ended 30 || fail "$1: $E2E_SAW"
  e2e_wait_exit 1
  [ "$E2E_STATUS" = 0 ] || fail "$1: Esc: exit status $E2E_STATUS"
}

# Clicks the close box of the window titled $1 where it is drawn; fails, with
# what the probe found in E2E_SAW, when there is none.
e2e_click_close() {
  local x y
  E2E_SAW="$(e2e_probe closebox "$1")" || return 1
  read -r x y <<<"$E2E_SAW"
  xdotool mousemove "$x" "$y" click 1
}

# Waits for the "error" box, checks its text is $1 and that nothing else of the
# toy shows beside it, presses OK and expects the toy to end with status 0.
e2e_expect_box() {
  local box
  if ! box="$(e2e_probe box 60)"; then
    e2e_wait_exit 1
    fail "no error box for \"$1\" in 60 s; the toy $([ "$E2E_STATUS" = timeout ] && echo "still runs" || echo "ended with $E2E_STATUS")"
  fi
  [ "$box" = "windows=0 text=$1" ] || fail "expected the box \"$1\" alone, got '$box'"
  e2e_expect_exit "\"$1\""
}

e2e_screenshot() {
  import -display "$DISPLAY" -window root "$1"
}

# "count r g b" lines of the colours in a region WxH+X+Y, most frequent first.
e2e_colours() {
  convert "$1" -crop "$2" +repage -format %c histogram:info:- |
    sed -E 's/^ *([0-9]+):.*\( *([0-9.]+), *([0-9.]+), *([0-9.]+).*/\1 \2 \3 \4/' |
    awk '{printf "%d %d %d %d\n", $1, $2, $3, $4}' | sort -rn
}

# "WxH+X+Y" of window 0's client area, from what the probe saw of it.
e2e_client_region() {
  sed -E 's/.*client=([0-9]+x[0-9]+) origin=([0-9-]+),([0-9-]+).*/\1+\2+\3/' <<<"$1"
}

# Waits $3 seconds at most (0: the first shot) until a screenshot shows the scene in the region: its most
# frequent colour is a background (blue 255, red equal to green within the display's 16-bit rounding).
# Leaves the shot in $1 and prints "r g b" of the background.
e2e_wait_scene() {
  local shot="$1" region="$2" count r g b
  e2e_until "$3" eval 'e2e_screenshot "$shot"; read -r count r g b <<<"$(e2e_colours "$shot" "$region" | head -1)"
    [ -n "$b" ] && [ "$b" -ge 247 ] && [ $((r > g ? r - g : g - r)) -le 8 ]' && echo "$r $g $b"
}

# Waits up to 30 seconds for the screen to change between two shots: the
# toy's frames run (the background alone steps every frame).
e2e_wait_frames() {
  e2e_screenshot "$E2E_RUN/before.png"
  e2e_until 30 eval 'e2e_screenshot "$E2E_RUN/after.png"
    [ "$(compare -metric AE "$E2E_RUN/before.png" "$E2E_RUN/after.png" null: 2>&1 || true)" != 0 ]'
}

# Fails unless window 0's close box shows the drawn cross. Wine draws it as a
# glyph of its Marlett font; where a prefix lacks that font, another stands in
# and the box shows the letter "r". The cross's dark pixels mirror left to
# right and top to bottom, a letter's do not.
e2e_expect_close_cross() {
  local box x y shot="$E2E_RUN/closebox.png" glyph="$E2E_RUN/closebox-glyph.png" dark flop flip
  box="$(e2e_probe closebox "$WINDOW_TITLE")" || fail "window 0 has no close box: $box"
  read -r x y <<<"$box"
  e2e_screenshot "$shot"
  convert "$shot" -crop "13x11+$((x - 6))+$((y - 5))" +repage -colorspace gray -threshold 25% -negate -trim +repage "$glyph"
  dark="$(e2e_white_pixels "$glyph")"
  flop="$(e2e_white_pixels "$glyph" \( +clone -flop \) -compose difference -composite)"
  flip="$(e2e_white_pixels "$glyph" \( +clone -flip \) -compose difference -composite)"
  if [ "$dark" -lt 8 ] || [ "$flop" != 0 ] || [ "$flip" != 0 ]; then
    fail "window 0's close box is not the cross: $dark dark pixels, $flop unlike the box mirrored left to right, $flip top to bottom ($shot)"
  fi
}

# The white pixels of the black-and-white image $1 with the operators that follow.
e2e_white_pixels() {
  convert "$@" -format '%[fx:round(mean*w*h)]' info:
}

# sox reading the test bed's recording of every sound played (16-bit stereo at
# 44.1 kHz, as the test bed's ALSA set-up writes it); the arguments follow it.
e2e_capture() {
  sox -t raw -r 44100 -e signed -b 16 -c 2 "$PLIMBA_CAPTURE" "$@"
}

# The pops from frame $1 of the recording on (or all): rises of its 10 ms loudness from quiet to loud, a
# sound at the start counting as begun before. Every tenth frame, unfiltered, keeps the highest tone's loudness.
e2e_capture_pops() {
  tail -c +$((${1:-0} * 4 + 1)) "$PLIMBA_CAPTURE" | PLIMBA_CAPTURE=- e2e_capture -t dat -r 4410 -c 1 - downsample 10 2>/dev/null | awk '
    BEGIN { loud = 1 }
    /^;/ { next }
    { s += ($2 < 0 ? -$2 : $2); if (++n == 44) { level = s / n; s = n = 0
        if (!loud && level > 0.02) { pops++; loud = 1 } else if (loud && level < 0.005) loud = 0 } }
    END { print pops + 0 }'
}

# Starts openbox, a desktop's window manager, and waits for it to run; it
# stops on the way out.
e2e_start_window_manager() {
  openbox --sm-disable >"$E2E_RUN.openbox.log" 2>&1 &
  E2E_WM_PID=$!
  e2e_on_exit e2e_stop_window_manager
  e2e_until 10 eval "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'" ||
    fail "openbox did not start in 10 s: $(cat "$E2E_RUN.openbox.log")"
}

e2e_stop_window_manager() {
  kill "$E2E_WM_PID" 2>/dev/null || true
  wait "$E2E_WM_PID" 2>/dev/null || true
}

# Waits up to $1 seconds for a foreground window of class $2 other than the
# handle $3, and prints its handle; says what had the foreground when none came.
e2e_wait_foreground() {
  local want="$2" other="${3:-}" handle class front='/ foreground=1 / { sub("class=", "", $5); print $1, $5 }'
  e2e_until "$1" eval 'read -r handle class <<<"$(e2e_probe list | awk "$front")"
    [ "$class" = "$want" ] && [ "$handle" != "$other" ]' && echo "$handle" && return 0
  echo "the foreground is '$handle $class'" >&2
  return 1
}
