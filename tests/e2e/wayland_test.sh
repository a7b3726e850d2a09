#!/bin/bash
# On a Wayland desktop the toy runs under Xwayland, here a headless Weston's at
# 1920x1080. What the compositor itself shows is what the README tells Wayland
# users: the full screen's 1024x768 frame in the monitor's top-left corner, black
# beside and below it (Xwayland only pretends the mode change). Once its window
# is activated, Esc ends the toy with status 0.
. "$(dirname "$0")/lib.sh"
e2e_stage

# The compositor, with a runtime folder of its own; --debug lets the screenshooter in.
export XDG_RUNTIME_DIR="$E2E_RUN/xdg" WAYLAND_DISPLAY="plimba-wayland-$$"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
weston --backend=headless-backend.so --use-pixman --xwayland --debug --idle-time=0 \
  --width=1920 --height=1080 --socket="$WAYLAND_DISPLAY" >"$E2E_RUN/weston.log" 2>&1 </dev/null &
weston_pid=$!
stop_weston() {
  kill "$weston_pid" 2>/dev/null
  wait "$weston_pid" 2>/dev/null
}
e2e_on_exit stop_weston
display=
e2e_until 10 eval 'display="$(sed -n "s/.*xserver listening on display \(:[0-9]*\).*/\1/p" "$E2E_RUN/weston.log")"
  [ -n "$display" ] || ! kill -0 $weston_pid 2>/dev/null' || true
if [ -z "$display" ]; then
  echo "SKIP: no headless Weston with Xwayland here: $(tail -3 "$E2E_RUN/weston.log" 2>/dev/null)"
  exit 77
fi
export DISPLAY="$display"

# A Wine prefix and server of its own: Wine keeps in the prefix the displays and modes of the X server it
# first ran on (the test bed's Xvfb), and there the toy showed an error box. A copy of the test bed's,
# taken anew when that one changes, with managed windows as the run command has: unmanaged, the
# compositor showed nothing of the toy.
prefix="$E2E_BUILD/wayland-prefix"
if [ "$WINEPREFIX/.plimba-settings" -nt "$prefix/.plimba-settings" ]; then
  rm -rf "$prefix"
  cp -a "$WINEPREFIX" "$prefix"
  WINEPREFIX="$prefix" wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f </dev/null >/dev/null 2>&1
fi
export WINEPREFIX="$prefix"
stop_wine() {
  wineserver -k 2>/dev/null
}
e2e_on_exit stop_wine

# The lib's screenshots become the compositor's own output, saved by
# weston-screenshooter in the folder it runs in.
e2e_screenshot() {
  rm -rf "$E2E_RUN/shooter"
  mkdir "$E2E_RUN/shooter"
  (cd "$E2E_RUN/shooter" && timeout 10 weston-screenshooter) && mv "$E2E_RUN"/shooter/*.png "$1"
}

e2e_start
e2e_probe window "$FULL_TITLE" 20 >/dev/null || fail "no full screen at start"
e2e_wait_scene "$E2E_RUN/full.png" 1024x768+0+0 20 >/dev/null || fail "no scene in the monitor's top-left 1024x768"
outside="$(e2e_white_pixels "$E2E_RUN/full.png" -fill black -draw 'rectangle 0,0,1023,767' -colorspace gray -threshold 0)"
[ "$outside" = 0 ] || fail "$outside pixels beside and below the 1024x768 frame are not black ($E2E_RUN/full.png)"

# The probe reads frames off the window's middle, here outside the frame: the compositor's output tells.
e2e_frames() {
  local i
  for i in $(seq 1 "$1"); do
    e2e_wait_frames || { echo "the compositor showed $((i - 1)) of $1 new frames"; return 1; }
  done
}

# The window activated, as a user's click would. Xwayland's keyboard follows the pointer, which the full
# screen is under; pointer events (a synthetic click or move, xdotool's windowfocus) brought the headless
# Xwayland down, so window mode, which need not be under it, is left out.
xdotool search --name "^$FULL_TITLE\$" windowactivate >/dev/null || fail "could not activate the full screen"
e2e_quit "full screen"
echo "ok"
