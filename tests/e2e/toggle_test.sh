#!/bin/bash
# F12 switches between full screen and window 0, which comes back at its place;
# in window mode a click on the close box ends the toy; Esc and F12 let go
# together switch once and end.
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
  e2e_probe gone "$FULL_TITLE" 10 >/dev/null || fail "full-screen window still visible in window mode"
  # Unscaled: the scene fills exactly the 600x450 client area.
  e2e_wait_scene "$E2E_RUN/window.png" "$(e2e_client_region "$info")" 10 >/dev/null || fail "no scene in window 0"
}

expect_full_screen() {
  e2e_toggle_to "$FULL_TITLE" || fail "F12 did not return to full screen: $E2E_SAW"
  [[ "$E2E_SAW" == *"client=1024x768"* ]] || fail "full screen is not 1024x768: $E2E_SAW"
  e2e_probe gone "$WINDOW_TITLE" 10 >/dev/null || fail "window 0 still open in full screen"
  e2e_wait_scene "$E2E_RUN/full.png" 1024x768+0+0 10 >/dev/null || fail "no scene after returning to full screen"
}

expect_window_mode
expect_full_screen
expect_window_mode
e2e_click_close "$WINDOW_TITLE" || fail "close box: $E2E_SAW"
e2e_expect_exit "close box"

# Esc and F12 let go in the same frame: the switch to window mode still
# happens in that frame, then the toy ends. F12 goes up first, so that a poll
# falling between the two releases still sees the switch before the end.
e2e_start_scene
e2e_probe_start "$E2E_RUN/seen.log" seen "$WINDOW_TITLE" 20 || fail "the watching probe did not start"
e2e_key Escape F12
e2e_expect_exit "Esc with F12"
e2e_probe_wait || true
seen="$(tail -1 "$E2E_RUN/seen.log" | tr -d '\r')"
[[ "$seen" == seen* ]] || fail "Esc with F12: the toy ended without switching to window mode: $seen"
echo "Esc with F12: $seen, exit 0"
echo "ok"
