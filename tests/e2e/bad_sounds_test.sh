#!/bin/bash
# Broken pop sounds end the toy with the "pop sounds not loaded" box and
# status 0 within seconds, never a crash or a hang; odd but valid WAVs play.
. "$(dirname "$0")/lib.sh"

# Puts one kind of bad file (or directory) at $2, where the good one was.
make_bad() {
  local kind="$1" path="$2"
  [ "$kind" = unreadable ] || rm -rf "$path"
  case "$kind" in
    empty) : >"$path" ;;
    riff-only) printf 'RIFF' >"$path" ;;
    riff-header) printf 'RIFF\x24\x00\x00\x00WAVE' >"$path" ;;
    data-too-long)
      # A proper header whose data chunk claims 100 MB, followed by 1 KB.
      printf 'RIFF\xff\xff\xff\x05WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x44\xac\x00\x00\x88\x58\x01\x00\x02\x00\x10\x00data\x00\x00\x40\x06' >"$path"
      head -c 1024 /dev/zero >>"$path" ;;
    no-fmt) { printf 'RIFF\x2c\x04\x00\x00WAVEjunk\x10\x00\x00\x00'; head -c 16 /dev/zero; printf 'data\x00\x04\x00\x00'; head -c 1024 /dev/zero; } >"$path" ;;
    random) LC_ALL=C awk 'BEGIN { srand(7); for (i = 0; i < 4096; i++) printf "%c", int(rand() * 256) }' >"$path" ;;
    text) printf 'This is not a sound.\nJust some words.\n' >"$path" ;;
    directory) mkdir "$path" ;;
    # 100 MB of zeros after the header (sparse: the toy reads them all the same).
    huge-zeros) printf 'RIFF\x00\x00\x40\x06WAVE' >"$path" && truncate -s $((12 + 104857600)) "$path" ;;
    # Held open without sharing by another process while the toy starts.
    unreadable) e2e_probe_start "$E2E_RUN/lock.log" lock "Z:$path" 30 || fail "could not lock $path" ;;
    *) fail "unknown kind $kind" ;;
  esac
}

# Each kind once: the three files are loaded by the same steps, so the kinds
# take turns over the names and every name is refused for several of them.
names=("pop+1.wav" "pop-0.wav" "pop-1.wav")
turn=0
for kind in empty riff-only riff-header data-too-long no-fmt random text directory huge-zeros unreadable; do
  name="${names[turn++ % 3]}"
  e2e_stage
  make_bad "$kind" "$E2E_RUN/$name"
  e2e_start
  e2e_expect_box "pop sounds not loaded"
  if [ "$kind" = unreadable ]; then e2e_probe_wait || fail "the lock on $name did not hold while the toy ran: $(tail -1 "$E2E_RUN/lock.log" | tr -d '\r')"; fi
  echo "$name $kind: refused, exit 0"
done

# Valid sounds in other shapes still play: stereo, and another sample rate.
e2e_stage
sox "$E2E_SOUNDS/pop-0.wav" -c 2 "$E2E_RUN/pop-0.wav"
sox "$E2E_SOUNDS/pop-1.wav" -r 22050 "$E2E_RUN/pop-1.wav"
e2e_start_scene
e2e_quit "stereo / 22 kHz sounds"
echo "ok"
