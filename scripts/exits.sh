#!/bin/bash
# Ends the toy many times on each way out while two busy loops load the machine,
# and counts the exits whose status is not 0 (not part of the regular test run).
#   bash scripts/exits.sh [runs per way, default 100] [ways, default all four]
#   WINE_DEFAULTS=1 bash scripts/exits.sh ...   the same under Wine's defaults
# Ways out: Esc in full screen, Esc in window mode, a click on the close box, and
# OK on the "can't init sound/movie" box (DirectSound disabled). The toy is the
# one that scripts/run.sh plays: the 32-bit release where this machine runs it,
# else the 64-bit build.
# shellcheck source=scripts/runner.sh
. "$(dirname "$0")/runner.sh"
runs="${1:-100}"
# The toy's Wine settings are keyed by executable name: under another name it
# runs with Wine's defaults.
[ -z "${WINE_DEFAULTS:-}" ] || export E2E_EXE=plimbadoosh-defaults.exe
for build in "${runner_builds[@]}"; do runner_build "$build" plimbadoosh pop_sounds probe; done
program="$root/build/${runner_builds[0]}/plimbadoosh.exe"
runner_testbed exits "$program"
load=()
trap '[ ${#load[@]} -eq 0 ] || kill "${load[@]}" 2>/dev/null || true; e2e_finish' EXIT
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
        e2e_toggle_to "$WINDOW_TITLE" || return 0
      fi
      E2E_STATUS="no-close-box"
      if [ "$1" = close-box ]; then e2e_click_close "$WINDOW_TITLE" || return 0; else e2e_key Escape; fi ;;
  esac
  e2e_wait_exit 30
}

echo "$(basename "$program") as ${E2E_EXE:-plimbadoosh.exe} ($(x86_64-w64-mingw32-objdump -f "$program" | awk '/file format/ {print $4}')), $runs runs per way, two busy loops"
echo "way | runs | not 0 | statuses other than 0"
failures=0
read -r -a ways <<<"${2:-esc-full esc-window close-box sound-box}"
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
