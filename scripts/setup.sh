#!/bin/bash
# Installs what building and testing need on Debian 12; does nothing when all is there.
set -euo pipefail

# Wine's X11 driver loads these at run time and works without them, only less:
# without XRandR and XVidMode it cannot change the display mode at all, so a
# full screen at 1024x768x16 is refused. Debian lists them as recommendations
# only, which --no-install-recommends skips.
wine_x_libraries=(libxrandr2 libxxf86vm1 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxrender1)

packages=(
  cmake make g++ zip unzip
  g++-mingw-w64-x86-64 g++-mingw-w64-i686
  wine wine64
  # Wine's own fonts, another recommendation only: its caption buttons are
  # glyphs of its Marlett font (scripts/wine.sh puts that into each prefix).
  fonts-wine
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  xvfb xdotool x11-utils imagemagick openbox
  googletest sox pv procps
  # A Wayland desktop for one end-to-end pass: a headless compositor and its Xwayland.
  weston xwayland
  "${wine_x_libraries[@]}"
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

# The release is a 32-bit program; Wine runs it with wine32 from the i386
# architecture, where the kernel can run 32-bit programs at all.
# shellcheck source=scripts/wine.sh
. "$(dirname "$0")/wine.sh"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
if wine_kernel_runs_32bit; then
  for package in wine32 gstreamer1.0-plugins-base gstreamer1.0-plugins-good "${wine_x_libraries[@]}"; do
    dpkg-query -W -f='${Status}' "$package:i386" 2>/dev/null | grep -q "install ok installed" || missing+=("$package:i386")
  done
  if [[ " ${missing[*]} " == *":i386 "* ]]; then
    dpkg --print-foreign-architectures | grep -qx i386 || "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
