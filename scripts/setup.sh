#!/bin/bash
# Installs what building and testing need on Debian 12; does nothing when all is there.
set -euo pipefail

packages=(
  cmake make g++ zip unzip
  g++-mingw-w64-x86-64 g++-mingw-w64-i686
  wine wine64
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  xvfb xdotool x11-utils imagemagick openbox
  googletest sox procps
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
if wine_kernel_runs_32bit && ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  dpkg --print-foreign-architectures | grep -qx i386 || "${sudo_cmd[@]}" dpkg --add-architecture i386
  missing+=(wine32:i386 gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
