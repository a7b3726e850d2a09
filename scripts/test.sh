#!/bin/bash
# Builds everything (64-bit, and the 32-bit compile check) and runs every test
# under Wine on a headless X server. Installs what is missing first.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/setup.sh

cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64

# shellcheck source=scripts/testbed.sh
. scripts/testbed.sh
testbed_start build/x64/testbed
ctest --preset windows-x64 "$@"
