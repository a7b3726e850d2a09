#!/bin/bash
# The start the runner scripts share (run.sh, soak.sh, bench.sh, exits.sh):
# source it, and the shell is in the source tree with the toy's Wine set-up and
#   root                      the source tree
#   runner_builds             the builds this machine runs, the 32-bit release first
#   runner_build BUILD TARGET...   builds the targets in build/BUILD
#   runner_testbed NAME [PROGRAM]  starts a test bed of its own for NAME and loads
#                             the end-to-end helpers (tests/e2e/lib.sh) for PROGRAM;
#                             the test bed stops when the script ends
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
# shellcheck source=scripts/wine.sh
. scripts/wine.sh
runner_builds=(x64)
if wine_can_run_32bit; then runner_builds=(x86 x64); fi

runner_build() {
  cmake --preset "windows-$1" >/dev/null
  cmake --build --preset "windows-$1" --target "${@:2}"
}

runner_testbed() {
  # shellcheck source=scripts/testbed.sh
  . scripts/testbed.sh
  testbed_start "build/x64/$1-testbed"
  E2E_TESTBED="$TESTBED_DIR"
  # shellcheck source=tests/e2e/lib.sh
  . tests/e2e/lib.sh build/x64 "${2:-build/x64/plimbadoosh.exe}"
}
