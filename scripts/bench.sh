#!/bin/bash
# Benchmarks the toy's frame loop under Wine on a virtual screen and prints,
# per build and Wine set-up: frame periods against the loop's own floor, CPU
# per frame for the process and for each of its threads by name (read from
# /proc while the frames run), time to the first frame, resident memory.
#   bash scripts/bench.sh [frames per mode]
# shellcheck source=scripts/runner.sh
. "$(dirname "$0")/runner.sh"
frames="${1:-1000}"
for build in "${runner_builds[@]}"; do runner_build "$build" frame_bench pop_sounds; done
runner_build x64 plimbadoosh probe
runner_testbed bench

# "name ticks" for each thread of process $1 (user + system clock ticks).
thread_ticks() {
  local task
  for task in /proc/"$1"/task/*; do
    { read -r comm <"$task/comm" && awk -v name="$comm" '{ sub(/^.*\) /, ""); print name "\t" $12 + $13 }' "$task/stat"; } 2>/dev/null || true
  done
}

# Runs one benchmark program; passes its table through and adds the CPU of each
# thread, by name, over each stretch of measured frames.
bench() {
  local out="$TESTBED_DIR/bench.out" pid line mode hz
  hz="$(getconf CLK_TCK)"
  : >"$out"
  : >"$TESTBED_DIR/threads"
  # Its threads are read from /proc, so the program runs in the process started
  # here: through "wine" (the 32-bit loader, with wine32 installed) a 64-bit
  # program runs as a child of start.exe instead.
  local loader=wine
  if [[ "$(x86_64-w64-mingw32-objdump -f "$1")" == *x86-64* ]] && [ -x /usr/lib/wine/wine64 ]; then loader=/usr/lib/wine/wine64; fi
  (cd "$(dirname "$1")/.." && exec "$loader" "$1" "$frames" </dev/null >"$out" 2>/dev/null) &
  pid=$!
  while IFS= read -r line; do
    line="${line%$'\r'}"
    case "$line" in
      "@ start "*) mode="${line#@ start }"; thread_ticks "$pid" >"$TESTBED_DIR/start.ticks" ;;
      "@ end "*)
        thread_ticks "$pid" | awk -F'\t' -v mode="$mode" -v frames="$frames" -v hz="$hz" '
          NR == FNR { start[$1] += $2; next } { end[$1] += $2 }
          END { for (name in end) if ((ms = (end[name] - start[name]) * 1000 / hz / frames) >= 0.05)
                  printf "%s\t%s\t%.2f\n", mode, name, ms }' "$TESTBED_DIR/start.ticks" - >>"$TESTBED_DIR/threads" ;;
      *) echo "$line" ;;
    esac
  done < <(tail -n +1 -f --pid="$pid" "$out" 2>/dev/null)
  wait "$pid" || true
  echo
  echo "CPU ms/frame by thread (the program's own name covers the frame loop and threads without a name):"
  sort -t$'\t' -k1,1 -k3,3nr "$TESTBED_DIR/threads" | awk -F'\t' '{ printf "  %-12s %-24s %6.2f\n", $1, $2, $3 }'
  rm -f "$TESTBED_DIR/threads" "$out"
}

echo "machine: $(nproc) cores, $(awk '/model name/ {$1=$2=$3=""; print; exit}' /proc/cpuinfo | sed 's/^ *//'), $(wine --version)"
wine_can_run_32bit || echo "32-bit build: not run, this machine cannot run 32-bit programs"
for build in "${runner_builds[@]}"; do
  # The same program under a name the toy's settings do not cover runs with Wine's defaults.
  cp "build/$build/tools/frame_bench.exe" "build/$build/tools/frame_bench-defaults.exe"
  for program in frame_bench frame_bench-defaults; do
    setup="the toy's Wine set-up"
    [ "$program" = frame_bench ] || setup="Wine's defaults"
    printf '\n## %s build, %s\n' "$build" "$setup"
    bench "$root/build/$build/tools/$program.exe"
  done
done
