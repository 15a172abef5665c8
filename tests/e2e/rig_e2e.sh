#!/usr/bin/env bash
# The chat window keying a radio through a shared rigctld (Hamlib's network model 2 at
# localhost:PORT, behind it Hamlib's dummy radio), driven as an operator would:
#   - a sentence sent: rigctl reads PTT 1 while it is on the air and 0 after it;
#   - the dial set with rigctl shows in the status line within 3 s;
#   - rigctld stopped (SIGSTOP) during a transmission: the window keeps answering the operator;
#   - SIGTERM while keyed: the program ends with the radio unkeyed;
#   - rigctld killed during a transmission: the window says so once, the transmission ends as it
#     would have, and the window runs on.
# Starts and stops its own X server, sound server and rigctld.
#   rig_e2e.sh PATH/TO/vantrel-chat
set -euo pipefail
chat=$(realpath "${1:?usage: rig_e2e.sh vantrel-chat}")
root=$(cd "$(dirname "$0")/../.." && pwd)
for tool in Xvfb xdotool pulseaudio pactl pacat rigctld rigctl import compare; do
  command -v "$tool" >/dev/null || { echo "rig-e2e: $tool is not installed (scripts/install-deps)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/vantrel-rig-e2e.XXXXXX)
pids=()
rigctld_pid=""
cleanup() {
  local rc=$?
  if [[ $rc -ne 0 ]]; then
    import -window root "${E2E_FAILSHOT:-/tmp/vantrel-rig-e2e-failure.png}" 2>/dev/null || true
  fi
  [[ -n $rigctld_pid ]] && { kill -CONT "$rigctld_pid" 2>/dev/null || true; kill "$rigctld_pid" 2>/dev/null || true; }
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$root/scripts/pulse-stop" "$work/run" || true
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  if [[ $rc -ne 0 ]]; then
    echo "rig-e2e: failed; logs follow" >&2
    for f in "$work"/*.log "$work"/*/*.log; do [[ -f $f ]] && { echo "== $f" >&2; tail -20 "$f" >&2; }; done
  fi
  rm -rf "$work"
  exit $rc
}
trap cleanup EXIT

fail() { echo "rig-e2e: $*" >&2; exit 1; }
step() { echo "rig-e2e: [${SECONDS}s] $*"; }

source "$root/tests/e2e/desktop.sh"
start_xvfb 90
unset QT_QPA_PLATFORM PULSE_SERVER
"$root/scripts/pulse-start" "$work/run" >/dev/null
export XDG_RUNTIME_DIR="$work/run"

# rigctld on a free loopback port: one that nobody answers on.
ask() { timeout 10 rigctl -m 2 -r "localhost:$port" "$@" 2>/dev/null; }
for _ in $(seq 20); do
  port=$((20000 + RANDOM % 40000))
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && continue
  rigctld -m 1 -P RIG -T 127.0.0.1 -t "$port" >"$work/rigctld.log" 2>&1 &
  rigctld_pid=$!
  for _ in $(seq 50); do ask t >/dev/null && break; kill -0 "$rigctld_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$rigctld_pid" 2>/dev/null && break
done
pids+=($rigctld_pid)
[[ $(ask t) == 0 ]] || fail "rigctld did not start"

# A station keying through that rigctld: settings lines 21-25.
mkdir -p "$work/alpha"
printf '"DL1ABC"\r\n15\r\n122\r\n1\r\n"PTT"\r\n"  "\r\n7\r\n4\r\n3\r\n1\r\n1\r\n"FEFEnnE01C0001FD"\r\n"FEFEnnE01C0000FD"\r\n0\r\n"HEX"\r\n-1\r\n-1\r\n480,900\r\n1\r\n""\r\n1\r\n2\r\n"localhost:%s"\r\n0\r\n1\r\n' \
  "$port" >"$work/alpha/Settings.ini"

start_station() {  # sets WIN and STATION_PID
  (cd "$work/alpha" && exec "$chat") >>"$work/alpha/chat.log" 2>&1 &
  STATION_PID=$!
  pids+=($STATION_PID)
  WIN=""
  for _ in $(seq 150); do
    WIN=$(xdotool search --all --pid "$STATION_PID" --name '^Vantrel 11 Baud Chat mode$' 2>/dev/null | head -n1 || true)
    [[ -n $WIN ]] && return 0
    sleep 0.1
  done
  fail "the window did not appear"
}


send_line() {  # text
  focus "$WIN"
  local height
  height=$(xdotool getwindowgeometry --shell "$WIN" | sed -n 's/^HEIGHT=//p')
  xdotool mousemove --window "$WIN" 300 $((height - 60)) click 1
  sleep 0.3
  xdotool type --delay 15 -- "$1"
  xdotool key Return
}

# The station's playback stream exists exactly while it transmits.
on_air() {
  pactl list sink-inputs 2>/dev/null | grep -q "application.process.id = \"$STATION_PID\""
}

wait_for() {  # seconds description command...
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS < deadline)) || fail "$what (not within ${seconds} s)"
    sleep 0.2
  done
}

ptt_is() { [[ $(ask t) == "$1" ]]; }
boxes() { xdotool search --all --pid "$STATION_PID" --name '^Rig control \(Hamlib\)$' 2>/dev/null | grep -c . || true; }

# The right end of the status line under the controls, where the dial shows.
dial_shot() {  # file
  local geometry w h
  geometry=$(xdotool getwindowgeometry --shell "$WIN")
  w=$(sed -n 's/^WIDTH=//p' <<<"$geometry")
  h=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
  import -window "$WIN" -crop "260x20+$((w - 262))+$((h - 22))" +repage "$1" 2>/dev/null
}
same_picture() { [[ $(compare -metric AE "$1" "$2" null: 2>&1 || true) == 0 ]]; }

start_station
step "station up ($WIN), keying through rigctld on port $port"
sleep 2

# On the air: keyed; back to receive: unkeyed.
send_line "hi"
wait_for 10 "the station did not go on the air" on_air
ptt_is 1 || fail "rigctl does not read PTT 1 while the station is on the air"
wait_for 90 "the transmission did not end" eval '! on_air'
wait_for 3 "PTT still on after the transmission" ptt_is 0
step "PTT 1 on the air, 0 after"

# The dial: what the status row shows changes with the radio's dial within 3 s and comes back
# with it.
dial_shot "$work/dial-145.png"
ask F 14078500 || fail "rigctl could not set the dial"
sleep 3
dial_shot "$work/dial-14.png"
! same_picture "$work/dial-145.png" "$work/dial-14.png" || fail "the window did not show the new dial within 3 s"
ask F 145000000
sleep 3
dial_shot "$work/dial-back.png"
same_picture "$work/dial-145.png" "$work/dial-back.png" || fail "the window did not show the dial set back"
step "dial shown within 3 s"

# rigctld stopped: the window still answers the operator (the About box opens).
kill -STOP "$rigctld_pid"
send_line "QRX"
wait_for 10 "the station did not go on the air with rigctld stopped" on_air
xdotool mousemove 1270 1010
focus "$WIN"
xdotool key alt+h
sleep 0.4
xdotool key Down
choose_item
about=""
for _ in $(seq 30); do
  about=$(xdotool search --all --pid "$STATION_PID" --name '^About' 2>/dev/null | head -n1 || true)
  [[ -n $about ]] && break
  sleep 0.1
done
[[ -n $about ]] || fail "the window froze while rigctld was stopped"
focus "$about"
xdotool key Escape
sleep 0.3
focus "$WIN"
kill -CONT "$rigctld_pid"
wait_for 90 "the transmission did not end after rigctld went on" eval '! on_air'
wait_for 5 "PTT still on after rigctld went on" ptt_is 0
step "rigctld stopped: the window answered"

# SIGTERM while keyed: the program ends and the radio is unkeyed.
send_line "cut off by SIGTERM"
wait_for 10 "the station did not go on the air" on_air
wait_for 5 "not keyed" ptt_is 1
kill -TERM "$STATION_PID"
for _ in $(seq 100); do kill -0 "$STATION_PID" 2>/dev/null || break; sleep 0.1; done
kill -0 "$STATION_PID" 2>/dev/null && fail "the program did not end on SIGTERM"
ptt_is 0 || fail "PTT still on after SIGTERM"
step "SIGTERM while keyed: ended unkeyed"

# rigctld killed during a transmission: said once, the transmission ends, the window runs on.
start_station
sleep 2
send_line "QRT"
wait_for 10 "the station did not go on the air" on_air
wait_for 5 "not keyed" ptt_is 1
kill -KILL "$rigctld_pid"
wait "$rigctld_pid" 2>/dev/null || true
rigctld_pid=""
wait_for 20 "the window did not say that the radio went away" eval '(( $(boxes) >= 1 ))'
wait_for 90 "the transmission did not end" eval '! on_air'
kill -0 "$STATION_PID" || fail "the window closed when rigctld went away"
sleep 3
[[ $(boxes) == 1 ]] || fail "expected one message about the radio, found $(boxes)"
step "rigctld killed: said once, transmission ended, window runs on"
echo "rig-e2e: passed"
