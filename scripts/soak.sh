#!/bin/bash
# Soak test (not part of the regular test run): the real toy for a long time
# with an F12 release every few seconds; resident memory and window and GDI/USER
# object counts sampled every minute. Fails when they grow.
#   bash scripts/soak.sh [minutes, default 30]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
minutes="${1:-30}"
bash scripts/setup.sh
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 --target plimbadoosh probe

# shellcheck source=scripts/testbed.sh
. scripts/testbed.sh
testbed_start build/x64/soak-testbed
run="$root/build/x64/soak"
rm -rf "$run" && mkdir -p "$run"
cp build/x64/plimbadoosh.exe build/x64/pop+1.wav build/x64/pop-0.wav build/x64/pop-1.wav "$run/"
probe() { wine "$root/build/x64/tools/probe.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }

(cd "$run" && exec wine plimbadoosh.exe </dev/null >/dev/null 2>&1) &
toy=$!
probe window "F12 for window-mode and back" 30 >/dev/null || { echo "soak: the toy did not start"; exit 1; }

echo "minute | resident kB | windows (mode) | GDI | USER (GDI/USER as the system reports them; Wine answers 0)"
samples=()
window_growth=
start=$(date +%s)
next_sample=$start
toggles=0
while :; do
  now=$(date +%s)
  if [ "$now" -ge "$next_sample" ]; then
    kill -0 "$toy" 2>/dev/null || { echo "soak: the toy died"; exit 1; }
    rss=$(awk '/VmRSS/ {print $2}' "/proc/$toy/status")
    stats="$(probe stats)"
    windows=$(sed -E 's/.*windows=([0-9]+).*/\1/' <<<"$stats")
    gdi=$(sed -E 's/.*gdi=([0-9]+).*/\1/' <<<"$stats")
    user=$(sed -E 's/.*user=([0-9]+).*/\1/' <<<"$stats")
    minute=$(((now - start) / 60))
    # Window 0 exists only in window mode, so window counts are compared per mode.
    mode=window
    probe window "F12 for window-mode and back" 0 >/dev/null && mode=full
    echo "$minute | $rss | $windows ($mode) | $gdi | $user"
    samples+=("$rss $windows $gdi $user")
    first_windows_var="first_windows_$mode"
    if [ -z "${!first_windows_var:-}" ]; then
      printf -v "$first_windows_var" '%s' "$windows"
    elif [ "$windows" -gt "${!first_windows_var}" ]; then
      window_growth="$window_growth $mode:${!first_windows_var}->$windows"
    fi
    next_sample=$((next_sample + 60))
    [ "$minute" -ge "$minutes" ] && break
  fi
  xdotool keydown F12; sleep 0.3; xdotool keyup F12
  toggles=$((toggles + 1))
  sleep 3
done

xdotool keydown Escape; sleep 0.3; xdotool keyup Escape
status=0
wait "$toy" || status=$?
echo "toggles: $toggles, exit status: $status"

# Growth is judged from the second sample on (the first minute warms caches).
read -r rss1 _ gdi1 user1 <<<"${samples[1]:-${samples[0]}}"
read -r rssN _ gdiN userN <<<"${samples[-1]}"
verdict=0
[ "$status" = 0 ] || { echo "FAIL: exit status $status"; verdict=1; }
[ $((rssN - rss1)) -le 2048 ] || { echo "FAIL: resident memory grew by $((rssN - rss1)) kB"; verdict=1; }
[ -z "$window_growth" ] || { echo "FAIL: windows grew:$window_growth"; verdict=1; }
[ "$gdiN" -le "$gdi1" ] || { echo "FAIL: GDI objects grew $gdi1 -> $gdiN"; verdict=1; }
[ "$userN" -le "$user1" ] || { echo "FAIL: USER objects grew $user1 -> $userN"; verdict=1; }
[ "$verdict" = 0 ] && echo "soak: no growth"
exit "$verdict"
