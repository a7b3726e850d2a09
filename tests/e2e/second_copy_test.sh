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
# The settings go again on every way out, once the toys have ended.
forget_settings() { settings 's/^\[/[-/'; }
e2e_on_exit forget_settings
settings 's/"UseTakeFocus"="N"/&\n"Managed"="Y"/'
e2e_start_window_manager

second_copy_round() {
  local mode="$1" handle_a a_pid b_pid status
  e2e_stage
  e2e_start
  handle_a="$(e2e_wait_foreground 20 MultimediaBase)" || fail "$mode: A's full screen never came to the front"
  e2e_wait_scene "$E2E_RUN/a.png" 1024x768+0+0 30 >/dev/null || fail "$mode: no scene in A's full screen"
  if [ "$mode" = window ]; then
    e2e_toggle_to "$WINDOW_TITLE" || fail "$mode: A did not switch to window mode"
    handle_a="$(e2e_wait_foreground 10 WindowClass_0)" || fail "$mode: A's window never came to the front"
  fi

  a_pid="$E2E_PID"
  e2e_start
  b_pid="$E2E_PID"
  E2E_PID="$a_pid"
  e2e_wait_foreground 20 MultimediaBase "$handle_a" >/dev/null ||
    fail "$mode: B's full screen never came to the front; B's box: $(e2e_probe box 1)"
  e2e_wait_scene "$E2E_RUN/b.png" 1024x768+0+0 30 >/dev/null || fail "$mode: no scene in B's full screen"
  # B's frames run in front (its scene is drawn): Esc, once.
  e2e_press Escape e2e_ended 30 "$b_pid" || fail "$mode: B: $E2E_SAW"
  status=0
  wait "$b_pid" || status=$?
  [ "$status" = 0 ] || fail "$mode: B ended with $status"
  echo "$mode: B ended on Esc with 0"

  e2e_wait_foreground 20 "$([ "$mode" = full ] && echo MultimediaBase || echo WindowClass_0)" >/dev/null ||
    fail "$mode: A never came to the front again"
  # A's frames run again once it has taken its display back; keys count from then.
  e2e_wait_frames || fail "$mode: A draws no frames after B"
  if [ "$mode" = full ]; then
    e2e_wait_scene "$E2E_RUN/a.png" 1024x768+0+0 30 >/dev/null || fail "$mode: A draws no scene after B"
    e2e_toggle_to "$WINDOW_TITLE" || fail "$mode: A does not answer F12 after B ended"
    region="$(e2e_client_region "$E2E_SAW")"
  else
    e2e_toggle_to "$FULL_TITLE" || fail "$mode: A does not answer F12 after B ended"
    region=1024x768+0+0
  fi
  echo "$mode: A answered F12"
  # Esc in the new mode, once its frames run.
  e2e_wait_scene "$E2E_RUN/a.png" "$region" 30 >/dev/null || fail "$mode: no scene after F12"
  e2e_quit "$mode: A"
  echo "$mode: A ended on Esc with status 0"
}

second_copy_round full
second_copy_round window
echo "ok"
