#!/bin/bash
# The toy comes up in full screen with the scene stretched over 1024x768,
# and releasing Esc ends it with status 0. Command-line arguments change nothing.
. "$(dirname "$0")/lib.sh"
e2e_stage

for args in "" "--window /x 12"; do
  # shellcheck disable=SC2086
  e2e_start $args
  info="$(e2e_probe window "$FULL_TITLE" 60)" || fail "no full-screen window (args '$args'): $info"
  echo "full screen: $info"
  [[ "$info" == *"client=1024x768 origin=0,0"* ]] || fail "full-screen window is not 1024x768 at 0,0: $info"
  [[ "$info" == *"class=MultimediaBase Class"* ]] || fail "full screen is not on the multimedia window: $info"
  ! e2e_probe window "$START_TITLE" 0 >/dev/null || fail "window 0 still open in full screen"

  # Bubbles: colours between blue and white besides the background, in
  # patches too large to be the stretch's smoothing alone, in the first shot
  # once the toy has shown a new frame.
  shown="$(e2e_frames 1)" || fail "no frames on the full screen (args '$args'): $shown"
  background="$(e2e_wait_scene "$E2E_RUN/full.png" 1024x768+0+0 0)" || fail "no scene on the full screen"
  bubble_colours="$(e2e_colours "$E2E_RUN/full.png" 1024x768+0+0 | awk -v bg="$background" '
    BEGIN { split(bg, b, " ") }
    $4 >= 240 && ($2 - $3 <= 8 && $3 - $2 <= 8) && ($2 != b[1] || $3 != b[2]) && $1 >= 150 { n++ }
    END { print n + 0 }')"
  echo "background: $background; bubble colours: $bubble_colours"
  [ "$bubble_colours" -ge 1 ] || fail "no bubbles on the full screen"

  e2e_quit "args '$args'"
done
echo "ok"
