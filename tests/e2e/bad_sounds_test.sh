#!/bin/bash
# Broken pop sounds end the toy with the "pop sounds not loaded" box and
# status 0 within seconds, never a crash or a hang; odd but valid WAVs play.
. "$(dirname "$0")/lib.sh"

# Writes one kind of bad file (or directory) at $2.
make_bad() {
  local kind="$1" path="$2"
  rm -rf "$path"
  case "$kind" in
    empty) : >"$path" ;;
    riff-only) printf 'RIFF' >"$path" ;;
    riff-header) printf 'RIFF\x24\x00\x00\x00WAVE' >"$path" ;;
    data-too-long)
      # A proper header whose data chunk claims 100 MB, followed by 1 KB.
      printf 'RIFF\xff\xff\xff\x05WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x44\xac\x00\x00\x88\x58\x01\x00\x02\x00\x10\x00data\x00\x00\x40\x06' >"$path"
      head -c 1024 /dev/zero >>"$path" ;;
    no-fmt) { printf 'RIFF\x2c\x04\x00\x00WAVEjunk\x10\x00\x00\x00'; head -c 16 /dev/zero; printf 'data\x00\x04\x00\x00'; head -c 1024 /dev/zero; } >"$path" ;;
    random) head -c 4096 /dev/urandom >"$path" ;;
    text) printf 'This is not a sound.\nJust some words.\n' >"$path" ;;
    directory) mkdir "$path" ;;
    huge-zeros) { printf 'RIFF\x00\x00\x40\x06WAVE'; head -c 104857600 /dev/zero; } >"$path" ;;
    *) fail "unknown kind $kind" ;;
  esac
}

expect_refused() {
  local what="$1" box status
  box="$(e2e_probe box 20)" || fail "$what: no error box"
  [ "$box" = "text=pop sounds not loaded" ] || fail "$what: box says '$box'"
  e2e_wait_exit 15
  [ "$E2E_STATUS" = 0 ] || fail "$what: exit status $E2E_STATUS"
  echo "$what: refused, exit 0"
}

for name in "pop+1.wav" "pop-0.wav" "pop-1.wav"; do
  for kind in empty riff-only riff-header data-too-long no-fmt random text directory huge-zeros; do
    e2e_stage
    make_bad "$kind" "$E2E_RUN/$name"
    e2e_start
    expect_refused "$name $kind"
  done
  # A file that cannot be read: held open without sharing by another process.
  e2e_stage
  e2e_probe lock "Z:$E2E_RUN/$name" 30 >"$E2E_RUN/lock.log" &
  locker=$!
  for _ in $(seq 1 100); do grep -q locked "$E2E_RUN/lock.log" 2>/dev/null && break; sleep 0.05; done
  e2e_start
  expect_refused "$name unreadable"
  wine "$E2E_BUILD/tools/probe.exe" kill >/dev/null 2>&1 || true
  kill "$locker" 2>/dev/null || true
  wait "$locker" 2>/dev/null || true
done

# Valid sounds in other shapes still play: stereo, and another sample rate.
e2e_stage
sox "$E2E_SOUNDS/pop-0.wav" -c 2 "$E2E_RUN/pop-0.wav"
sox "$E2E_SOUNDS/pop-1.wav" -r 22050 "$E2E_RUN/pop-1.wav"
e2e_start
e2e_probe window "$FULL_TITLE" 20 >/dev/null || fail "stereo / 22 kHz sounds were refused"
e2e_key Escape
e2e_wait_exit 15
[ "$E2E_STATUS" = 0 ] || fail "exit status $E2E_STATUS"
echo "ok"
