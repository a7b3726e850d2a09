#!/bin/bash
# Two copies under a window manager: copy B takes the full screen from copy A
# and ends; A, in the foreground again, still answers F12 and then Esc. Once
# with A in full screen and once in window mode. The only script that runs a
# window manager (openbox); it stops it on every way out.
. "$(dirname "$0")/lib.sh"

# The test bed's windows are unmanaged; here the toy's are managed by openbox, as
# on a desktop. The setting is scoped to the toy's name and taken back at the end.
TOY_X11_KEY="HKCU\\Software\\Wine\\AppDefaults\\$E2E_EXE\\X11 Driver"
WM_PID=
B_PID=
second_copy_cleanup() {
  if [ -n "$B_PID" ]; then kill "$B_PID" 2>/dev/null || true; fi
  e2e_cleanup
  wine reg delete "$TOY_X11_KEY" /v Managed /f >/dev/null 2>&1 || true
  if [ -n "$WM_PID" ]; then
    kill "$WM_PID" 2>/dev/null || true
    wait "$WM_PID" 2>/dev/null || true
  fi
}
trap second_copy_cleanup EXIT
wine reg add "$TOY_X11_KEY" /v Managed /d Y /f >/dev/null 2>&1
openbox --sm-disable >"$E2E_RUN.openbox.log" 2>&1 &
WM_PID=$!
for i in $(seq 1 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || fail "openbox did not start"

# The window in the foreground, as "handle class".
foreground() {
  e2e_probe list | awk '/ foreground=1 / { sub("class=", "", $5); print $1, $5 }'
}

# Waits up to $1 seconds for a foreground window of class $2 other than handle $3.
wait_foreground() {
  local i handle class
  for i in $(seq 1 $(($1 * 4))); do
    read -r handle class <<<"$(foreground)"
    if [ "$class" = "$2" ] && [ "$handle" != "${3:-}" ]; then
      echo "$handle"
      return 0
    fi
    sleep 0.25
  done
  echo "foreground is '$handle $class'" >&2
  return 1
}

# Presses $1 until the probe condition "$2 $3" holds: at most three presses. A press
# while the toy is rebuilding its display is not seen by any poll, as for a user.
press_until() {
  local key="$1" tries
  shift
  for tries in 1 2 3; do
    e2e_key "$key"
    if e2e_probe "$@" 5 >/dev/null; then
      echo "$tries"
      return 0
    fi
  done
  return 1
}

second_copy_round() {
  local mode="$1" handle_a tries status
  e2e_stage
  e2e_start
  handle_a="$(wait_foreground 20 MultimediaBase)" || fail "$mode: A's full screen never came to the front"
  e2e_wait_scene "$E2E_RUN/a.png" 1024x768+0+0 10 >/dev/null || fail "$mode: no scene in A's full screen"
  if [ "$mode" = window ]; then
    press_until F12 window "$WINDOW_TITLE" >/dev/null || fail "$mode: A did not switch to window mode"
    handle_a="$(wait_foreground 10 WindowClass_0)" || fail "$mode: A's window never came to the front"
  fi

  (cd "$E2E_RUN" && exec wine "$E2E_EXE" </dev/null >"$E2E_RUN/b.log" 2>&1) &
  B_PID=$!
  wait_foreground 20 MultimediaBase "$handle_a" >/dev/null ||
    fail "$mode: B's full screen never came to the front; B's box: $(e2e_probe box 1)"
  e2e_wait_scene "$E2E_RUN/b.png" 1024x768+0+0 10 >/dev/null || fail "$mode: no scene in B's full screen"
  # As for A: a press while the window manager is still mapping B's window anew
  # reaches no poll, and a user would press again.
  local b_tries
  for b_tries in 1 2 3; do
    e2e_key Escape
    for i in $(seq 1 100); do kill -0 "$B_PID" 2>/dev/null || break; sleep 0.05; done
    kill -0 "$B_PID" 2>/dev/null || break
  done
  kill -0 "$B_PID" 2>/dev/null && fail "$mode: B did not end on Esc (3 presses)"
  status=0
  wait "$B_PID" || status=$?
  B_PID=
  [ "$status" = 0 ] || fail "$mode: B ended with $status"

  wait_foreground 20 "$([ "$mode" = full ] && echo MultimediaBase || echo WindowClass_0)" >/dev/null ||
    fail "$mode: A never came to the front again"
  if [ "$mode" = full ]; then
    e2e_wait_scene "$E2E_RUN/a.png" 1024x768+0+0 10 >/dev/null || fail "$mode: A draws no scene after B"
    tries="$(press_until F12 window "$WINDOW_TITLE")" || fail "$mode: A does not answer F12 after B ended"
  else
    tries="$(press_until F12 window "$FULL_TITLE")" || fail "$mode: A does not answer F12 after B ended"
  fi
  echo "$mode: B ended on Esc (press $b_tries) with 0; A answered F12 (press $tries)"
  # Esc in the new mode, once its frames run.
  local region=1024x768+0+0 origin
  if [ "$mode" = full ]; then
    origin="$(e2e_probe window "$WINDOW_TITLE" 10 | sed -E 's/.*origin=([0-9-]+),([0-9-]+).*/+\1+\2/')"
    region="600x450$origin"
  fi
  e2e_wait_scene "$E2E_RUN/a.png" "$region" 10 >/dev/null || fail "$mode: no scene after F12"
  for tries in 1 2 3; do
    e2e_key Escape
    e2e_wait_exit 5
    [ "$E2E_STATUS" = timeout ] || break
  done
  [ "$E2E_STATUS" = 0 ] || fail "$mode: A after Esc: got status $E2E_STATUS"
  echo "$mode: A ended on Esc (press $tries) with status 0"
}

second_copy_round full
second_copy_round window
echo "ok"
