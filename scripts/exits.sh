#!/bin/bash
# Ends the toy many times on each way out while two busy loops load the machine,
# and counts the exits whose status is not 0 (not part of the regular test run).
#   bash scripts/exits.sh [runs per way, default 100] [ways, default all four]
# Ways out: Esc in full screen, Esc in window mode, the close box, and OK on the
# "can't init sound/movie" box (DirectSound disabled). The toy is the one that
# scripts/run.sh plays: the 32-bit release where this machine runs it, else the
# 64-bit build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
runs="${1:-100}"
bash scripts/setup.sh
# shellcheck source=scripts/wine.sh
. scripts/wine.sh
builds=(x64)
wine_can_run_32bit && builds=(x86 x64)
for build in "${builds[@]}"; do
  cmake --preset "windows-$build" >/dev/null
  cmake --build --preset "windows-$build" --target plimbadoosh pop_sounds probe
done
program="$root/build/${builds[0]}/plimbadoosh.exe"

# shellcheck source=scripts/testbed.sh
. scripts/testbed.sh
testbed_start build/x64/exits-testbed
E2E_TESTBED="$TESTBED_DIR"
# shellcheck source=tests/e2e/lib.sh
. tests/e2e/lib.sh build/x64 "$program"
load=()
stop_all() { e2e_cleanup; [ ${#load[@]} -eq 0 ] || kill "${load[@]}" 2>/dev/null || true; testbed_stop; }
trap stop_all EXIT
# Under load a frame can take far longer than its 50 ms, so keys are held for
# several of them, or the toy would never see the key down.
E2E_KEY_HOLD=1
for _ in 1 2; do
  yes >/dev/null &
  load+=($!)
done

# Starts the toy and ends it one way; E2E_STATUS holds how it ended.
end_once() {
  e2e_stage
  case "$1" in
    sound-box)
      WINEDLLOVERRIDES="$WINEDLLOVERRIDES;dsound=" e2e_start
      E2E_STATUS="no-box"
      e2e_probe box 30 >/dev/null || return 0 ;;
    *)
      e2e_start
      E2E_STATUS="no-full-screen"
      e2e_probe window "$FULL_TITLE" 30 >/dev/null || return 0
      if [ "$1" != esc-full ]; then
        E2E_STATUS="no-window-mode"
        e2e_toggle_to "$WINDOW_TITLE" >/dev/null || return 0
      fi
      if [ "$1" = close-box ]; then e2e_probe close "$WINDOW_TITLE" >/dev/null; else e2e_key Escape; fi ;;
  esac
  e2e_wait_exit 30
}

echo "$(basename "$program") ($(x86_64-w64-mingw32-objdump -f "$program" | awk '/file format/ {print $4}')), $runs runs per way, two busy loops"
echo "way | runs | not 0 | statuses other than 0"
failures=0
ways=(${2:-esc-full esc-window close-box sound-box})
for way in "${ways[@]}"; do
  bad=()
  for _ in $(seq 1 "$runs"); do
    end_once "$way"
    [ "$E2E_STATUS" = 0 ] || bad+=("$E2E_STATUS")
    e2e_cleanup
  done
  echo "$way | $runs | ${#bad[@]} | ${bad[*]:-}"
  failures=$((failures + ${#bad[@]}))
done
echo "not 0: $failures of $((${#ways[@]} * runs))"
[ "$failures" = 0 ]
