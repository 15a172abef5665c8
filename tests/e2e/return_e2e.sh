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

work=$(mktemp -d /tmp/vantrel-return-e2e.XXXXXX)
pids=()
cleanup() {
  local rc=$?
  [[ $rc -ne 0 ]] && import -window root /tmp/vantrel-return-e2e-failure.png 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$root/scripts/pulse-stop" "$work/run" || true
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  [[ $rc -ne 0 && -f $work/alpha/chat.log ]] && tail -20 "$work/alpha/chat.log" >&2
  rm -rf "$work"
  exit $rc
}
trap cleanup EXIT
fail() { echo "return-e2e: $*" >&2; exit 1; }
step() { echo "return-e2e: [${SECONDS}s] $*"; }

source "$root/tests/e2e/desktop.sh"
start_xvfb 110
unset QT_QPA_PLATFORM PULSE_SERVER
"$root/scripts/pulse-start" "$work/run" >/dev/null
export XDG_RUNTIME_DIR="$work/run"

mkdir -p "$work/alpha"
printf '"DL1ABC"\r\n15\r\n122\r\n1\r\n"PTT"\r\n"  "\r\n7\r\n4\r\n3\r\n1\r\n1\r\n"FEFEnnE01C0001FD"\r\n"FEFEnnE01C0000FD"\r\n0\r\n"HEX"\r\n-1\r\n-1\r\n480,900\r\n1\r\n""\r\n' \
  >"$work/alpha/Settings.ini"
(cd "$work/alpha" && exec "$chat") >"$work/alpha/chat.log" 2>&1 &
chat_pid=$!
pids+=($chat_pid)
win=""
for _ in $(seq 150); do
  win=$(xdotool search --all --pid "$chat_pid" --name '^Vantrel 11 Baud Chat mode$' 2>/dev/null | head -n1 || true)
  [[ -n $win ]] && break
  sleep 0.1
done
[[ -n $win ]] || fail "the window did not appear"
sleep 1

on_air() { pactl list sink-inputs 2>/dev/null | grep -q "application.process.id = \"$chat_pid\""; }
hold_return() { xdotool keydown Return; sleep 1; xdotool keyup Return; sleep 0.7; }
window_of() { xdotool search --all --pid "$chat_pid" --name "^$1\$" 2>/dev/null | head -n1 || true; }
# The loudest sample the sink's monitor recorded into a file.
loudest() { sox -t raw -r 11025 -e signed -b 16 -c 1 "$1" -n stat 2>&1 | sed -n 's/^Maximum amplitude: *//p'; }
record() { parec -d air.monitor --raw --format=s16le --rate=11025 --channels=1 >"$1" & recorder=$!; pids+=($recorder); }
quiet_after() {  # what was taken
  on_air && fail "Return held to take $1 put the station on the air"
  step "held Return took $1: nothing on the air"
}

# The pointer off every menu: a menu loses its chosen item when the pointer moves out of it.
xdotool mousemove 1270 1010
record "$work/menus.raw"
focus "$win"; xdotool key alt+f; sleep 0.4; hold_return
quiet_after "File, Save RX screen"
focus "$win"; xdotool key alt+t; sleep 0.4; hold_return
box=$(window_of "Squelch trigger level")
[[ -n $box ]] || fail "Tools, Squelch trigger level did not open its box"
quiet_after "Tools, Squelch trigger level"
focus "$box"; xdotool key Escape; sleep 0.4
focus "$win"; xdotool key alt+m; sleep 0.4; for _ in 1 2 3; do xdotool key Down; done; hold_return
quiet_after "Mode, 11 baud"
focus "$win"; xdotool key alt+o; sleep 0.4; xdotool key Return; sleep 0.7
box=$(window_of CALLSIGN)
[[ -n $box ]] || fail "Options, Callsign did not open its box"
focus "$box"; hold_return
[[ -z $(window_of CALLSIGN) ]] || fail "the held Return did not take the call sign box"
quiet_after "the call sign box"
focus "$win"; xdotool key alt+t; sleep 0.4; xdotool key Down; xdotool key Return; sleep 0.7
box=$(window_of "Bandwidth capture range")
[[ -n $box ]] || fail "Tools, Bandwidth capture range did not open its box"
focus "$box"; xdotool type 200; xdotool key Return; sleep 0.7
box=$(window_of "Marker limit")
[[ -n $box ]] || fail "a capture range of 200 did not bring the Marker limit box"
focus "$box"; hold_return
[[ -z $(window_of "Marker limit") ]] || fail "the held Return did not take the message box"
quiet_after "the Marker limit message box"
sleep 1
kill "$recorder"
[[ $(loudest "$work/menus.raw") == 0.000000 ]] || fail "the monitor recorded a signal: loudest sample $(loudest "$work/menus.raw")"
step "monitor silent through every held Return ($(stat -c %s "$work/menus.raw") bytes)"

# A typed sentence with a tap of Return goes out; Return held in the entry sends once.
send_with() {  # text key-action...
  focus "$win"
  local height
  height=$(xdotool getwindowgeometry --shell "$win" | sed -n 's/^HEIGHT=//p')
  xdotool mousemove --window "$win" 300 $((height - 45)) click 1
  sleep 0.3
  xdotool type --delay 15 -- "$1"
  shift
  "$@"
  for _ in $(seq 50); do on_air && return 0; sleep 0.1; done
  fail "[$1] did not go on the air"
}
record "$work/sent.raw"
send_with "tapped" xdotool key Return
for _ in $(seq 200); do on_air || break; sleep 0.1; done
send_with "held" hold_return
for _ in $(seq 200); do on_air || break; sleep 0.1; done
sleep 1
on_air && fail "a second transmission followed the held Return"
kill "$recorder"
[[ $(loudest "$work/sent.raw") != 0.000000 ]] || fail "nothing was recorded from the monitor while sending"
xdotool mousemove 1270 1010
focus "$win"; xdotool key alt+f; sleep 0.4; xdotool key Return; sleep 1
saved=$(ls -t "$work/alpha"/Vantrel*.doc | head -n1)
[[ $(grep -c "DL1ABC: " "$saved") == 2 ]] || fail "expected two sentences sent, the pane holds: $(tr -d '\r' <"$saved")"
grep -q "DL1ABC: held" "$saved" || fail "the held Return did not send the typed sentence"
step "a tapped and a held Return in the entry each sent once (loudest sample $(loudest "$work/sent.raw"))"
echo "return-e2e: passed"
