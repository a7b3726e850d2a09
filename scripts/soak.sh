#!/bin/bash
# Soak test (not part of the regular test run): the real toy for a long time
# with an F12 release every few seconds; working set and window and GDI/USER
# object counts sampled every minute. Fails when they grow.
#   bash scripts/soak.sh [minutes, default 30]
# shellcheck source=scripts/runner.sh
. "$(dirname "$0")/runner.sh"
minutes="${1:-30}"
runner_build x64 plimbadoosh probe
runner_testbed soak
e2e_stage
e2e_start
e2e_probe window "$FULL_TITLE" 30 >/dev/null || fail "soak: the toy did not start"

echo "minute | working set kB | windows (mode) | GDI | USER (GDI/USER as the system reports them; Wine answers 0)"
samples=()
window_growth=
start=$(date +%s)
next_sample=$start
toggles=0
mode=full
while :; do
  now=$(date +%s)
  if [ "$now" -ge "$next_sample" ]; then
    stats="$(e2e_probe stats)" || fail "soak: the toy died"
    minute=$(((now - start) / 60))
    windows=$(e2e_stat windows "$stats")
    echo "$minute | $(e2e_stat memory "$stats") | $windows ($mode) | $(e2e_stat gdi "$stats") | $(e2e_stat user "$stats")"
    samples+=("$stats")
    # Window 0 exists only in window mode, so window counts are compared per mode.
    first_windows_var="first_windows_$mode"
    if [ -z "${!first_windows_var:-}" ]; then
      printf -v "$first_windows_var" '%s' "$windows"
    elif [ "$windows" -gt "${!first_windows_var}" ]; then
      window_growth="$window_growth $mode:${!first_windows_var}->$windows"
    fi
    next_sample=$((next_sample + 60))
    [ "$minute" -ge "$minutes" ] && break
  fi
  if [ "$mode" = full ]; then title="$WINDOW_TITLE" next=window; else title="$FULL_TITLE" next=full; fi
  e2e_toggle_to "$title" || fail "soak: F12 did not reach $next after $toggles toggles"
  mode="$next"
  toggles=$((toggles + 1))
  # A user's pace: the scene plays a few seconds in each mode.
  sleep 3
done

e2e_key Escape
e2e_wait_exit 15
echo "toggles: $toggles, exit status: $E2E_STATUS"

# Growth is judged from the second sample on (the first minute warms caches).
first="${samples[1]:-${samples[0]}}"
last="${samples[-1]}"
verdict=0
grown=$(($(e2e_stat memory "$last") - $(e2e_stat memory "$first")))
[ "$E2E_STATUS" = 0 ] || { echo "FAIL: exit status $E2E_STATUS"; verdict=1; }
[ "$grown" -le 2048 ] || { echo "FAIL: working set grew by $grown kB"; verdict=1; }
[ -z "$window_growth" ] || { echo "FAIL: windows grew:$window_growth"; verdict=1; }
for kind in gdi user; do
  [ "$(e2e_stat $kind "$last")" -le "$(e2e_stat $kind "$first")" ] ||
    { echo "FAIL: $kind objects grew $(e2e_stat $kind "$first") -> $(e2e_stat $kind "$last")"; verdict=1; }
done
[ "$verdict" = 0 ] && echo "soak: no growth"
exit "$verdict"
