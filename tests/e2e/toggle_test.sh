#!/bin/bash
# The running toy seen from outside: F12 switches between full screen and
# window 0, which comes back at its place; the background pulses by steps of 3
# between 1 and 103 and the pops are heard; in window mode a click on the close
# box ends the toy; Esc and F12 let go together switch once and end.
. "$(dirname "$0")/lib.sh"
e2e_stage
e2e_start_scene

expect_window_mode() {
  e2e_toggle_to "$WINDOW_TITLE" || fail "F12 did not open window mode: $E2E_SAW"
  local info="$E2E_SAW"
  echo "window mode: $info"
  [[ "$info" == *"client=600x450"* ]] || fail "window 0 client area is not 600x450: $info"
  [[ "$info" == *"class=WindowClass_0"* ]] || fail "not window 0: $info"
  [[ "$info" == *" outer=100,100 "* ]] || fail "window 0's outer corner is not at 100,100: $info"
  e2e_probe gone "$FULL_TITLE" 30 >/dev/null || fail "full-screen window still visible in window mode"
  # Unscaled: the scene fills exactly the 600x450 client area.
  e2e_wait_scene "$E2E_RUN/window.png" "$(e2e_client_region "$info")" 30 >/dev/null || fail "no scene in window 0"
}

expect_full_screen() {
  e2e_toggle_to "$FULL_TITLE" || fail "F12 did not return to full screen: $E2E_SAW"
  [[ "$E2E_SAW" == *"client=1024x768"* ]] || fail "full screen is not 1024x768: $E2E_SAW"
  e2e_probe gone "$WINDOW_TITLE" 30 >/dev/null || fail "window 0 still open in full screen"
  e2e_wait_scene "$E2E_RUN/full.png" 1024x768+0+0 30 >/dev/null || fail "no scene after returning to full screen"
}

expect_window_mode
e2e_expect_close_cross
# The recording from here holds only what was heard after a switch.
: >"$PLIMBA_CAPTURE"
# Window mode shows the scene unscaled on the 24-bit desktop, so the
# background's level can be read exactly there, frame by frame.
levels="$(e2e_probe levels "$WINDOW_TITLE" 24)" || fail "background levels: $levels"
echo "background levels: $levels"

# Every level belongs to the 68-frame pulse 1, 4, ... 103, 100, ... 4, and each
# change is one frame's step along it; the probe, sampling far faster than the
# frames, may still miss one now and then on a busy machine, never most.
awk -v seq="$levels" '
  function phases(level, out,   p, n) {
    n = 0
    for (p = 0; p < 68; p++) if ((p <= 34 ? 1 + 3 * p : 103 - 3 * (p - 34)) == level) out[++n] = p
    return n
  }
  BEGIN {
    n = split(seq, v, " ")
    for (i = 1; i <= n; i++) {
      if (!phases(v[i], now)) { print "level " v[i] " is not on the pulse"; exit 1 }
      # The phases the level can stand at, one step after those it could before.
      delete after; step = 0
      for (b in now) for (a in before) if ((now[b] - before[a] + 68) % 68 == 1) { after[b] = now[b]; step = 1 }
      steps += step
      delete before
      if (step) for (k in after) before[k] = after[k]; else for (k in now) before[k] = now[k]
      delete now
    }
    if (steps * 4 < (n - 1) * 3) { print "only " steps " of " n - 1 " changes are one step of the pulse"; exit 1 }
  }' || fail "background levels do not follow the pulse"

# Pops after the switch: more than one a clip, all that can still be on its
# way from before it.
e2e_until 20 eval 'pops="$(e2e_capture_pops)"; [ "$pops" -gt 3 ]' || true
echo "pops after the switch: $pops"
[ "$pops" -gt 3 ] || fail "$pops pops heard in 20 s after the switch to window mode, no more than the clips playing before it"

expect_full_screen
expect_window_mode
e2e_click_close "$WINDOW_TITLE" || fail "close box: $E2E_SAW"
e2e_expect_exit "close box"

# Pops: the recording since the first switch holds sound in both channels
# (they are panned by x).
channel_rms() {
  e2e_capture -n remix "$1" stat 2>&1 | awk '/RMS +amplitude/ {print $3}'
}
left="$(channel_rms 1)"
right="$(channel_rms 2)"
echo "pops: left RMS $left, right RMS $right"
awk -v l="$left" -v r="$right" 'BEGIN { exit !(l > 0.001 && r > 0.001) }' || fail "no pops heard on both sides"

# Esc and F12 let go in the same frame: the switch to window mode still
# happens in that frame, then the toy ends. F12 goes up first, so that a poll
# falling between the two releases still sees the switch before the end.
e2e_start_scene
e2e_probe_start "$E2E_RUN/seen.log" seen "$WINDOW_TITLE" 20 || fail "the watching probe did not start"
e2e_key Escape F12
e2e_expect_exit "Esc with F12"
e2e_probe_wait || fail "Esc with F12: the toy ended without switching to window mode: $(tail -1 "$E2E_RUN/seen.log" | tr -d '\r')"
seen="$(tail -1 "$E2E_RUN/seen.log" | tr -d '\r')"
echo "Esc with F12: $seen, exit 0"
echo "ok"
