#!/bin/bash
# The running scene seen from outside: the background pulses by steps of 3
# between 1 and 103, and the pops are heard.
. "$(dirname "$0")/lib.sh"
e2e_stage
e2e_start_scene

# Window mode shows the scene unscaled on the 24-bit desktop, so the
# background's level can be read exactly there.
e2e_toggle_to "$WINDOW_TITLE" || fail "no window mode: $E2E_SAW"
region="$(e2e_client_region "$E2E_SAW")"
e2e_wait_scene "$E2E_RUN/sample.png" "$region" 10 >/dev/null || fail "no scene in window 0"
levels=()
for i in $(seq 1 24); do
  e2e_screenshot "$E2E_RUN/sample.png"
  read -r count r g b <<<"$(e2e_colours "$E2E_RUN/sample.png" "$region" | head -1)"
  [ "$b" = 255 ] && [ "$r" = "$g" ] || fail "sample $i: background is $r $g $b, not a level of blue"
  levels+=("$r")
done
echo "background levels: ${levels[*]}"

# Every level belongs to the pulse, and each sample can follow the one before
# it by a few frames of the 68-frame cycle 1, 4, ... 103, 100, ... 4.
awk -v seq="${levels[*]}" '
  function phases(level, out,   p, n) {
    n = 0
    for (p = 0; p < 68; p++) if ((p <= 34 ? 1 + 3 * p : 103 - 3 * (p - 34)) == level) out[++n] = p
    return n
  }
  BEGIN {
    n = split(seq, v, " ")
    distinct = 0
    for (i = 1; i <= n; i++) {
      if (!phases(v[i], now)) { print "level " v[i] " is not on the pulse"; exit 1 }
      if (!(v[i] in seen)) { seen[v[i]] = 1; distinct++ }
      if (i > 1) {
        ok = 0
        for (a in before) for (b in now) { d = (now[b] - before[a] + 68) % 68; if (d <= 20) ok = 1 }
        if (!ok) { print "level " v[i] " cannot follow " v[i-1]; exit 1 }
      }
      delete before; for (k in now) before[k] = now[k]; delete now
    }
    if (distinct < 4) { print "the background does not pulse: " distinct " levels"; exit 1 }
  }' || fail "background levels do not follow the pulse"

e2e_key Escape
e2e_expect_exit "Esc"

# Pops: the recording holds sound, in both channels (they are panned by x).
channel_rms() {
  sox -t raw -r 44100 -e signed -b 16 -c 2 "$PLIMBA_CAPTURE" -n remix "$1" stat 2>&1 | awk '/RMS +amplitude/ {print $3}'
}
left="$(channel_rms 1)"
right="$(channel_rms 2)"
echo "pops: left RMS $left, right RMS $right"
awk -v l="$left" -v r="$right" 'BEGIN { exit !(l > 0.001 && r > 0.001) }' || fail "no pops heard"
echo ok
