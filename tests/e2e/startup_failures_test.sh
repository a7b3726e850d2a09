#!/bin/bash
# Every start-up failure shows its "error" box, opens no scene window, and
# exits with status 0 once the box is closed.
. "$(dirname "$0")/lib.sh"

expect_failure() {
  local expected="$1" box status
  shift
  if ! box="$(e2e_probe box 20)"; then
    e2e_wait_exit 1
    fail "no error box for \"$expected\" in 20 s; the toy $([ "$E2E_STATUS" = timeout ] && echo "still runs" || echo "ended with $E2E_STATUS")"
  fi
  [ "$box" = "text=$expected" ] || fail "box says '$box', expected \"$expected\""
  e2e_wait_exit 15
  [ "$E2E_STATUS" = 0 ] || fail "\"$expected\": exit status $E2E_STATUS"
  for title in "$START_TITLE" "$FULL_TITLE" "$WINDOW_TITLE"; do
    ! e2e_probe window "$title" 0 >/dev/null || fail "\"$expected\": a scene window is open"
  done
  echo "\"$expected\": box shown, exit 0"
}

for missing in "pop+1.wav" "pop-0.wav" "pop-1.wav"; do
  e2e_stage
  rm "$E2E_RUN/$missing"
  e2e_start
  expect_failure "pop sounds not loaded"
done

e2e_stage
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;dinput=d" e2e_start
expect_failure "DX ?"

WINEDLLOVERRIDES="$WINEDLLOVERRIDES;ddraw=d" e2e_start
expect_failure "DX ?"

WINEDLLOVERRIDES="$WINEDLLOVERRIDES;dsound=d" e2e_start
expect_failure "can't init sound/movie"
echo "ok"
