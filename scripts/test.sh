#!/bin/bash
# Builds everything (64-bit, and the 32-bit release) and runs every test
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
set +e
ctest --preset windows-x64 "$@" 2>&1 | tee build/x64/ctest.log
status=${PIPESTATUS[0]}
set -e
testbed_stop
# CTest's own summary line closes the output.
grep -E '^[0-9]+% tests passed' build/x64/ctest.log | tail -1 || true
exit "$status"
