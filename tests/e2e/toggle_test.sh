#!/bin/bash
# F12 switches between full screen and window 0, which comes back at its place;
# in window mode the close box ends the toy; Esc and F12 let go together
# switch once and end.
. "$(dirname "$0")/lib.sh"
e2e_stage
e2e_start

e2e_probe window "$FULL_TITLE" 20 >/dev/null || fail "no full screen at start"
# Keys count once the frames run, and so once the scene shows.
e2e_wait_scene "$E2E_RUN/full.png" 1024x768+0+0 20 >/dev/null || fail "no scene at start"

expect_window_mode() {
  local info
  info="$(e2e_toggle_to "$WINDOW_TITLE")" || fail "F12 did not open window mode: $info"
  echo "window mode: $info"
  [[ "$info" == *"client=600x450"* ]] || fail "window 0 client area is not 600x450: $info"
  [[ "$info" == *"class=WindowClass_0"* ]] || fail "not window 0: $info"
  [[ "$info" == *" outer=100,100 "* ]] || fail "window 0's outer corner is not at 100,100: $info"
  e2e_probe gone "$FULL_TITLE" 10 >/dev/null || fail "full-screen window still visible in window mode"
  local origin x y
  origin="$(sed -E 's/.*origin=([0-9-]+),([0-9-]+).*/\1 \2/' <<<"$info")"
  read -r x y <<<"$origin"
  # Unscaled: the scene fills exactly the 600x450 client area.
  e2e_wait_scene "$E2E_RUN/window.png" "600x450+$x+$y" 10 >/dev/null || fail "no scene in window 0"
}

expect_full_screen() {
  local info
  info="$(e2e_toggle_to "$FULL_TITLE")" || fail "F12 did not return to full screen: $info"
  [[ "$info" == *"client=1024x768"* ]] || fail "full screen is not 1024x768: $info"
  e2e_probe gone "$WINDOW_TITLE" 10 >/dev/null || fail "window 0 still open in full screen"
  e2e_wait_scene "$E2E_RUN/full.png" 1024x768+0+0 10 >/dev/null || fail "no scene after returning to full screen"
}

expect_window_mode
expect_full_screen
expect_window_mode

e2e_probe close "$WINDOW_TITLE" || fail "could not ask window 0 to close"
e2e_wait_exit 15
[ "$E2E_STATUS" = 0 ] || fail "close box: exit status $E2E_STATUS"

# Esc and F12 let go in the same frame: the switch to window mode still
# happens in that frame, then the toy ends. F12 goes up first, so that a poll
# falling between the two releases still sees the switch before the end.
e2e_start
e2e_probe window "$FULL_TITLE" 20 >/dev/null || fail "no full screen at the second start"
e2e_wait_scene "$E2E_RUN/full.png" 1024x768+0+0 20 >/dev/null || fail "no scene at the second start"
e2e_probe seen "$WINDOW_TITLE" 20 >"$E2E_RUN/seen.log" &
watcher=$!
for _ in $(seq 1 200); do grep -q watching "$E2E_RUN/seen.log" && break; sleep 0.05; done
xdotool keydown Escape keydown F12
sleep 0.3
xdotool keyup F12 keyup Escape
e2e_wait_exit 15
[ "$E2E_STATUS" = 0 ] || fail "Esc with F12: exit status $E2E_STATUS"
wait "$watcher" || fail "Esc with F12: the toy ended without switching to window mode: $(tail -1 "$E2E_RUN/seen.log")"
echo "Esc with F12: $(tail -1 "$E2E_RUN/seen.log"), exit 0"
echo "ok"
