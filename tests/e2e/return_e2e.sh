#!/usr/bin/env bash
# A held Return never transmits by accident: Return held 1 s (key down, wait, key up) to take an
# item of the File, Tools and Mode menus, the call sign box and a message box puts nothing on the
# air, recorded from the sink's monitor; then a typed sentence sent with Return goes out, and
# Return held in the entry itself sends once. Starts and stops its own X and sound servers.
#   return_e2e.sh PATH/TO/vantrel-chat
set -euo pipefail
chat=$(realpath "${1:?usage: return_e2e.sh vantrel-chat}")
root=$(cd "$(dirname "$0")/../.." && pwd)
for tool in Xvfb xdotool pulseaudio pactl parec sox; do
  command -v "$tool" >/dev/null || { echo "return-e2e: $tool is not installed (scripts/install-deps)" >&2; exit 1; }
done
source "$root/tests/e2e/station.sh"
begin return-e2e 110
station alpha PTT ""
start_chat alpha
sleep 1

hold_return() { xdotool keydown Return; sleep 1; xdotool keyup Return; sleep 0.7; }
menu() { focus "$win"; xdotool key "$1"; sleep 0.4; }
# The sink's monitor into a file while the steps run; its loudest sample after.
record() { parec -d air.monitor --raw --format=s16le --rate=11025 --channels=1 >"$1" & recorder=$!; pids+=($recorder); }
loudest() { sox -t raw -r 11025 -e signed -b 16 -c 1 "$1" -n stat 2>&1 | sed -n 's/^Maximum amplitude: *//p'; }
taken() {  # what
  on_air && fail "Return held to take $1 put the station on the air"
  step "held Return took $1: nothing on the air"
}
held_in_box() {  # title
  local box
  box=$(window_of "$1")
  [[ -n $box ]] || fail "the box $1 did not open"
  focus "$box"; hold_return
  [[ -z $(window_of "$1") ]] || fail "the held Return did not take the box $1"
  taken "the box $1"
}

record "$work/menus.raw"
menu alt+f; hold_return; taken "File, Save RX screen"
menu alt+t; hold_return
[[ -n $(window_of "Squelch trigger level") ]] || fail "Tools, Squelch trigger level did not open its box"
taken "Tools, Squelch trigger level"
focus "$(window_of "Squelch trigger level")"; xdotool key Escape; sleep 0.4
menu alt+m; xdotool key Down Down Down; hold_return; taken "Mode, 11 baud"
menu alt+o; xdotool key Return; sleep 0.7; held_in_box CALLSIGN
menu alt+t; xdotool key Down Return; sleep 0.7
focus "$(window_of "Bandwidth capture range")"; xdotool type 200; xdotool key Return; sleep 0.7
held_in_box "Marker limit"
sleep 1
kill "$recorder"
[[ $(loudest "$work/menus.raw") == 0.000000 ]] || fail "the monitor recorded a signal: loudest $(loudest "$work/menus.raw")"
step "the sink's monitor silent through every held Return ($(stat -c %s "$work/menus.raw") bytes)"

record "$work/sent.raw"
for way in tapped held; do
  if [[ $way == tapped ]]; then send "$way"; else send "$way" hold_return; fi
  wait_for 50 "the $way sentence did not go on the air" on_air
  wait_for 200 "the $way sentence did not end" eval '! on_air'
done
sleep 1
on_air && fail "a second transmission followed the held Return"
kill "$recorder"
[[ $(loudest "$work/sent.raw") != 0.000000 ]] || fail "the monitor recorded nothing while sending"
menu alt+f; xdotool key Return; sleep 1
saved=$(ls -t "$work/alpha"/Vantrel*.doc | head -n1)
[[ $(grep -c "DL1ABC: " "$saved") == 2 ]] || fail "expected two sentences, the pane holds: $(tr -d '\r' <"$saved")"
grep -q "DL1ABC: held" "$saved" || fail "the held Return did not send the typed sentence"
step "a tapped and a held Return in the entry each sent once (loudest $(loudest "$work/sent.raw"))"
echo "return-e2e: passed"
