#!/bin/bash
# Every start-up failure shows its "error" box with no scene window beside it,
# and the toy exits with status 0 once the box is closed.
. "$(dirname "$0")/lib.sh"

for missing in "pop+1.wav" "pop-0.wav" "pop-1.wav"; do
  e2e_stage
  rm "$E2E_RUN/$missing"
  e2e_start
  e2e_expect_box "pop sounds not loaded"
  echo "$missing missing: box shown, exit 0"
done

e2e_stage
for failure in "dinput:DX ?" "ddraw:DX ?" "dsound:can't init sound/movie"; do
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;${failure%%:*}=d" e2e_start
  e2e_expect_box "${failure#*:}"
  echo "${failure%%:*} disabled: \"${failure#*:}\" shown, exit 0"
done
echo "ok"
