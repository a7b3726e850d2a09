#!/bin/bash
# F12 switches between full screen and window 0; in window mode the close box ends the toy.
. "$(dirname "$0")/lib.sh"
e2e_stage
e2e_start

e2e_probe window "$FULL_TITLE" 20 >/dev/null || fail "no full screen at start"

expect_window_mode() {
  local info
  info="$(e2e_probe window "$WINDOW_TITLE" 10)" || fail "F12 did not open window mode: $info"
  echo "window mode: $info"
  [[ "$info" == *"client=600x450"* ]] || fail "window 0 client area is not 600x450: $info"
  [[ "$info" == *"class=WindowClass_0"* ]] || fail "not window 0: $info"
  e2e_probe gone "$FULL_TITLE" 10 >/dev/null || fail "full-screen window still visible in window mode"
  local origin x y
  origin="$(sed -E 's/.*origin=([0-9-]+),([0-9-]+).*/\1 \2/' <<<"$info")"
  read -r x y <<<"$origin"
  # Unscaled: the scene fills exactly the 600x450 client area.
  e2e_wait_scene "$E2E_RUN/window.png" "600x450+$x+$y" 10 >/dev/null || fail "no scene in window 0"
}

expect_full_screen() {
  local info
  info="$(e2e_probe window "$FULL_TITLE" 10)" || fail "F12 did not return to full screen: $info"
  [[ "$info" == *"client=1024x768"* ]] || fail "full screen is not 1024x768: $info"
  e2e_probe gone "$WINDOW_TITLE" 10 >/dev/null || fail "window 0 still open in full screen"
  e2e_wait_scene "$E2E_RUN/full.png" 1024x768+0+0 10 >/dev/null || fail "no scene after returning to full screen"
}

e2e_key F12
expect_window_mode
e2e_key F12
expect_full_screen
e2e_key F12
expect_window_mode

e2e_probe close "$WINDOW_TITLE" || fail "could not ask window 0 to close"
e2e_wait_exit 15
[ "$E2E_STATUS" = 0 ] || fail "close box: exit status $E2E_STATUS"
echo "ok"
