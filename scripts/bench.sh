#!/bin/bash
# Benchmarks the toy's frame loop under Wine on a virtual screen and prints
# a table: frame periods against the loop's own floor, CPU per frame, time
# to the first frame, resident memory.   bash scripts/bench.sh [frames per mode]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 --target frame_bench pop_sounds

# shellcheck source=scripts/testbed.sh
. scripts/testbed.sh
testbed_start build/x64/bench-testbed
cd build/x64
echo "machine: $(nproc) cores, $(awk '/model name/ {$1=$2=$3=""; print; exit}' /proc/cpuinfo | sed 's/^ *//'), $(wine --version)"
wine tools/frame_bench.exe "${1:-1000}" </dev/null 2>/dev/null | tr -d '\r'
