#!/bin/bash
# The toy's Wine set-up on Linux, the one place every runner takes it from: the
# interactive run and its demo, the test bed, bench.sh, soak.sh and exits.sh.
# Source this file. The runners use prefixes of the project's own, never the user's.
#
#   wine_prepare_prefix     makes $WINEPREFIX if it is missing, or anew when it was made
#                           before the Wine architectures now installed (a prefix made
#                           without wine32 cannot start anything once wine32 is there),
#                           and gives it Wine's Marlett font for the caption buttons
#   wine_apply_settings     writes the toy's settings into $WINEPREFIX
#   wine_can_run_32bit      true when this machine runs 32-bit Windows programs
#   wine_kernel_runs_32bit  true when it could, once wine32 is installed
#   wine_start LOG ARGS...  wine ARGS, its standard error into the file LOG, started
#                           again when Wine could not lay the new process out
#
# The settings are scoped to the toy's own executables (AppDefaults), so nothing else
# run in the same prefix changes:
#   Direct3D renderer = gdi   DirectDraw then draws into plain memory with GDI instead of
#                             through OpenGL on Wine's command-stream thread (wined3d_cs).
#                             That thread cost most of the process's CPU, and when it was
#                             still finishing at ExitProcess, the process under load ended
#                             with 137 or 139 instead of 0. BENCHMARKS.md has the figures.
#   X11 Driver UseTakeFocus = N   the window manager gives the toy's window the X input
#                             focus itself. With Wine's default (Y), window managers that
#                             hand focus over by asking the program (WM_TAKE_FOCUS), such
#                             as IceWM, left the focus on their own window: the toy was
#                             active but never saw F12 or Esc. Measured harmless under
#                             openbox and xfwm4, and without a window manager it is unused.

# The executables that get the settings: the toy and the benchmark of its frame loop.
WINE_TOY_PROGRAMS=(plimbadoosh.exe frame_bench.exe)

# Wine stays quiet, and never offers to install Mono or Gecko, which the toy does not use.
export WINEDEBUG="${PLIMBA_WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

wine_architectures() {
  if [ -x /usr/lib/wine/wine ]; then echo "win32 win64"; else echo "win64"; fi
}

# Runs a tiny 32-bit Linux program (exit(0)): Wine's 32-bit loader needs the
# kernel to run those, and some kernels are built without it.
wine_kernel_runs_32bit() {
  local probe status=0
  probe="$(mktemp)"
  printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x5d\0\0\0\x5d\0\0\0\x05\0\0\0\0\x10\0\0\xb8\x01\0\0\0\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  return "$status"
}

wine_can_run_32bit() {
  [ -x /usr/lib/wine/wine ] && wine_kernel_runs_32bit
}

# On a loaded machine Wine now and then cannot lay out a new process ("failed to map the
# shared user data", c0000018: conflicting addresses) and the program never runs: only
# that, with nothing printed, starts it again, twice at most. Wine's errors are on, into
# the log, to tell it.
wine_start() {
  local log="$1" attempt status
  shift
  for attempt in 1 2 3; do
    status=0
    WINEDEBUG="${PLIMBA_WINEDEBUG:-err+all,fixme-all}" wine "$@" 2>"$log" | tee "$log.out" || status=${PIPESTATUS[0]}
    [ "$attempt" -lt 3 ] && [ "$status" -ne 0 ] && [ ! -s "$log.out" ] &&
      grep -q 'failed to map the shared user data' "$log" || break
    echo "Wine could not lay out $(basename "$1") (start $attempt); starting it again" >&2
  done
  rm -f "$log.out"
  return "$status"
}

wine_prepare_prefix() {
  local stamp="$WINEPREFIX/.plimba-architectures"
  if [ -f "$WINEPREFIX/system.reg" ] && [ "$(cat "$stamp" 2>/dev/null)" != "$(wine_architectures)" ]; then
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >"$WINEPREFIX/wineboot.log" 2>&1
    wineserver -w
    wine_architectures >"$stamp"
  fi
  wine_install_marlett
}

# Wine draws the caption buttons (the close box's cross, ...) as glyphs of its
# own Marlett font; without it, another font stands in and the close box shows
# an "r". Debian's fonts-wine puts Marlett in /usr/share/wine/fonts, where this
# Wine never looks: it reads the prefix's Fonts folder and fontconfig's folders.
WINE_MARLETT=/usr/share/wine/fonts/marlett.ttf

wine_install_marlett() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ -f "$WINE_MARLETT" ] && [ -d "$fonts" ] && ! cmp -s "$WINE_MARLETT" "$fonts/marlett.ttf"; then
    cp "$WINE_MARLETT" "$fonts/marlett.ttf"
  fi
}

# The settings of one executable, as a .reg section.
wine_program_settings() {
  cat <<REG

[HKEY_CURRENT_USER\Software\Wine\AppDefaults\\$1\Direct3D]
"renderer"="gdi"

[HKEY_CURRENT_USER\Software\Wine\AppDefaults\\$1\X11 Driver]
"UseTakeFocus"="N"
REG
}

wine_apply_settings() {
  local reg program stamp="$WINEPREFIX/.plimba-settings"
  reg="$(mktemp --suffix=.reg)"
  {
    echo "REGEDIT4"
    for program in "${WINE_TOY_PROGRAMS[@]}"; do wine_program_settings "$program"; done
  } >"$reg"
  if ! cmp -s "$reg" "$stamp"; then
    # The keys written last time go first ("[-KEY]" deletes one), so that a
    # program or value taken off the list loses its setting too.
    { echo "REGEDIT4"; [ ! -f "$stamp" ] || sed -n 's/^\[/[-/p' "$stamp"; tail -n +2 "$reg"; } >"$reg.apply"
    # Drive Z: is the Linux root in every prefix.
    wine regedit /S "Z:${reg//\//\\}.apply" </dev/null >/dev/null 2>&1
    wineserver -w
    cp "$reg" "$stamp"
  fi
  rm -f "$reg" "$reg.apply"
}
