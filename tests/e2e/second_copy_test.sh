#!/bin/bash
# Two copies under a window manager: copy B takes the full screen from copy A
# and ends; A, in the foreground again, still answers F12 and then Esc. Once
# with A in full screen and once in window mode. The only script that runs a
# window manager (openbox); it stops it on every way out.
. "$(dirname "$0")/lib.sh"

# The test bed's windows are unmanaged; here the toy's are managed by openbox,
# as on a desktop. The toy runs under a name of its own, which gets the toy's
# settings and Managed besides, so that nothing else in the shared prefix
# changes, even when this script is killed before it takes them back.
E2E_EXE=plimbadoosh-managed.exe
settings() {
  { echo REGEDIT4; wine_program_settings "$E2E_EXE" | sed "$1"; } >"$E2E_RUN.reg"
  wine regedit /S "Z:${E2E_RUN//\//\\}.reg" </dev/null >/dev/null 2>&1
}
WM_PID=
B_PID=
second_copy_cleanup() {
  if [ -n "$B_PID" ]; then kill "$B_PID" 2>/dev/null || true; fi
  e2e_cleanup
  settings 's/^\[/[-/'
  if [ -n "$WM_PID" ]; then
    kill "$WM_PID" 2>/dev/null || true
    wait "$WM_PID" 2>/dev/null || true
  fi
}
trap second_copy_cleanup EXIT
settings 's/"UseTakeFocus"="N"/&\n"Managed"="Y"/'
openbox --sm-disable >"$E2E_RUN.openbox.log" 2>&1 &
WM_PID=$!
for i in $(seq 1 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || fail "openbox did not start"

# Waits up to $1 seconds for a foreground window of class $2 other than handle $3,
# and prints its handle.
wait_foreground() {
  local i handle class
  for i in $(seq 1 $(($1 * 4))); do
    read -r handle class <<<"$(e2e_probe list | awk '/ foreground=1 / { sub("class=", "", $5); print $1, $5 }')"
    if [ "$class" = "$2" ] && [ "$handle" != "${3:-}" ]; then
      echo "$handle"
      return 0
    fi
    sleep 0.25
  done
  echo "foreground is '$handle $class'" >&2
  return 1
}

second_copy_round() {
  local mode="$1" handle_a a_pid status
  e2e_stage
  e2e_start
  handle_a="$(wait_foreground 20 MultimediaBase)" || fail "$mode: A's full screen never came to the front"
  e2e_wait_scene "$E2E_RUN/a.png" 1024x768+0+0 10 >/dev/null || fail "$mode: no scene in A's full screen"
  if [ "$mode" = window ]; then
    e2e_toggle_to "$WINDOW_TITLE" || fail "$mode: A did not switch to window mode"
    handle_a="$(wait_foreground 10 WindowClass_0)" || fail "$mode: A's window never came to the front"
  fi

  a_pid="$E2E_PID"
  e2e_start
  B_PID="$E2E_PID"
  E2E_PID="$a_pid"
  wait_foreground 20 MultimediaBase "$handle_a" >/dev/null ||
    fail "$mode: B's full screen never came to the front; B's box: $(e2e_probe box 1)"
  e2e_wait_scene "$E2E_RUN/b.png" 1024x768+0+0 10 >/dev/null || fail "$mode: no scene in B's full screen"
  # As for A: a press while the window manager is still mapping B's window anew
  # reaches no poll, and a user would press again.
  e2e_press_until Escape e2e_ended 5 "$B_PID" || fail "$mode: B did not end on Esc (3 presses)"
  status=0
  wait "$B_PID" || status=$?
  B_PID=
  [ "$status" = 0 ] || fail "$mode: B ended with $status"
  echo "$mode: B ended on Esc (press $E2E_PRESSES) with 0"

  wait_foreground 20 "$([ "$mode" = full ] && echo MultimediaBase || echo WindowClass_0)" >/dev/null ||
    fail "$mode: A never came to the front again"
  # A's frames run again once it has taken its display back; keys count from then.
  e2e_wait_frames || fail "$mode: A draws no frames after B"
  if [ "$mode" = full ]; then
    e2e_wait_scene "$E2E_RUN/a.png" 1024x768+0+0 10 >/dev/null || fail "$mode: A draws no scene after B"
    e2e_toggle_to "$WINDOW_TITLE" || fail "$mode: A does not answer F12 after B ended"
    region="$(e2e_client_region "$E2E_SAW")"
  else
    e2e_toggle_to "$FULL_TITLE" || fail "$mode: A does not answer F12 after B ended"
    region=1024x768+0+0
  fi
  echo "$mode: A answered F12 (press $E2E_PRESSES)"
  # Esc in the new mode, once its frames run.
  e2e_wait_scene "$E2E_RUN/a.png" "$region" 10 >/dev/null || fail "$mode: no scene after F12"
  e2e_quit "$mode: A"
  echo "$mode: A ended on Esc (press $E2E_PRESSES) with status 0"
}

second_copy_round full
second_copy_round window
echo "ok"
