#!/bin/bash
# Runs the keyboard tests that need real key events: a key server here on the
# host runs xdotool for each request the Wine test process writes, since Wine
# cannot start host programs itself.
. "$(dirname "$0")/lib.sh"
folder="$E2E_RUN"

serve_keys() {
  local request number status
  while [ ! -e "$folder/stop" ]; do
    for request in "$folder"/request-*; do
      case "$request" in *.tmp | *'request-*') continue ;; esac
      number="${request##*/request-}"
      status=0
      # shellcheck disable=SC2046
      xdotool $(cat "$request") || status=$?
      rm -f "$request"
      echo "$status" >"$folder/done-$number.tmp"
      mv "$folder/done-$number.tmp" "$folder/done-$number"
    done
    sleep 0.01
  done
}
serve_keys &
server=$!
stop_server() {
  touch "$folder/stop"
  wait "$server" 2>/dev/null || true
}
e2e_on_exit stop_server

# One process per test, as CTest runs them: the keyboard starts once a process.
exe="$E2E_BUILD/tests/keyboard_test.exe"
tests="$("$E2E_BUILD/wine-run.sh" "$exe" --gtest_list_tests --gtest_filter='KeyboardRealKeys.*' </dev/null 2>/dev/null |
  awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }' | tr -d '\r')"
[ -n "$tests" ] || fail "no real-key tests listed"
failed=0
for test in $tests; do
  log="$folder/$test.log"
  status=0
  PLIMBA_KEY_SERVER="$folder" "$E2E_BUILD/wine-run.sh" "$exe" --gtest_filter="$test" </dev/null >"$log" 2>&1 || status=$?
  cat "$log"
  if [ "$status" -ne 0 ] || ! grep -q '\[  PASSED  \] 1 test' "$log"; then
    echo "FAIL: $test (exit status $status)" >&2
    failed=1
  fi
done
exit "$failed"
