#!/bin/bash
# The test bed: a headless X server, a Wine prefix and HOME of our own inside
# the build tree, a warm persistent wineserver, and ALSA's default device
# writing everything played to a file. Source this file, then call
#   testbed_start DIR     (writes DIR/env for the programs that run inside;
#                          TESTBED_REAL_TIME_CAPTURE=1 records in real time)
#   testbed_stop          (also runs on exit, failure or interrupt)

testbed_find_display() {
  local n
  for n in $(seq 90 190); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      echo "$n"
      return 0
    fi
  done
  return 1
}

TESTBED_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

testbed_start() {
  TESTBED_DIR="$(mkdir -p "$1" && cd "$1" && pwd)"
  mkdir -p "$TESTBED_DIR/home"
  local display
  display="$(testbed_find_display)" || { echo "testbed: no free X display" >&2; return 1; }
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$TESTBED_DIR/xvfb.log" 2>&1 </dev/null &
  TESTBED_XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.05
  done

  cat >"$TESTBED_DIR/env" <<ENV
export DISPLAY=:$display
export WINEPREFIX="$TESTBED_DIR/prefix"
export HOME="$TESTBED_DIR/home"
export WINEARCH=win64
export PLIMBA_TESTBED="$TESTBED_DIR"
export PLIMBA_CAPTURE="$TESTBED_DIR/capture.raw"
. "$TESTBED_ROOT/wine.sh"
ENV
  # shellcheck disable=SC1091
  . "$TESTBED_DIR/env"

  # Every sound played lands in capture.raw as 16-bit stereo at 44.1 kHz.
  # The null device takes samples as fast as Wine writes them, about two to
  # three times real time here, which keeps the tests quick but leaves a
  # recording longer than the run. With TESTBED_REAL_TIME_CAPTURE=1 (the demo)
  # the samples go through pv, which passes 44100 frames of 4 bytes a second
  # and blocks the writer beyond that, as a sound card would; closing the
  # device waits for pv to write out the last fraction of a second.
  local capture="$PLIMBA_CAPTURE"
  if [ "${TESTBED_REAL_TIME_CAPTURE:-0}" = 1 ]; then capture="| exec pv -q -L 176400 >'$PLIMBA_CAPTURE'"; fi
  cat >"$HOME/.asoundrc" <<ALSA
pcm.capture_file { type file; slave.pcm "null"; file "$capture"; format "raw" }
pcm.!default { type plug; slave { pcm "capture_file"; format S16_LE; rate 44100; channels 2 } }
ALSA

  trap testbed_stop EXIT
  trap 'testbed_stop; exit 130' INT TERM
  wine_prepare_prefix
  # The test bed's own prefix: sound goes to ALSA (and so to capture.raw), and with
  # no window manager on the X server, Wine would wait about two seconds for every
  # managed window it hides or destroys, while unmanaged windows go at once. A crash
  # prints its backtrace and ends the process: Wine's crash dialog would wait, unseen
  # on the headless screen, until the test's time-out.
  if ! grep -q '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  fi
  # app_test runs the whole toy in its own process: it gets the toy's settings too.
  # The other test programs run the libraries under Wine's defaults.
  WINE_TOY_PROGRAMS+=(app_test.exe)
  wine_apply_settings
  # A persistent, warm server makes each test process start in a blink; its
  # helpers must not hold the test runner's output pipe, hence the redirections.
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

testbed_stop() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  if [ -n "${TESTBED_XVFB_PID:-}" ]; then
    kill "$TESTBED_XVFB_PID" >/dev/null 2>&1 || true
    wait "$TESTBED_XVFB_PID" 2>/dev/null || true
    TESTBED_XVFB_PID=
  fi
}
