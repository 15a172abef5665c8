#!/usr/bin/env bash
# The radio link comes and goes, and the radio is never left keyed, driven as an operator would:
#   - CAT on a pseudo-terminal pair standing in for a USB serial adapter: opening the port sends
#     the receive frame; the adapter unplugged during a transmission ends it at once, with the
#     window idle while it is gone; SEND is refused meanwhile; plugged back in, the port opens by
#     itself in receive and the next SEND keys the radio; the window killed (SIGKILL) while keyed
#     is followed by the receive frame within 1 s (the keying guardian);
#   - a real rigctld killed during a transmission and started again, left keyed: within 5 s it
#     reads PTT 0 and the next SEND keys it; the window killed while keyed: PTT 0 within 1 s;
#   - rigctld behind a proxy that answers 1.5 s late: keyed within 2 s of the audio starting,
#     and PTT 0 after SIGTERM 1.6, 2.0, 2.4 and 6.3 s after keying.
# Starts and stops its own X server, sound server, pseudo-terminals, rigctld and proxy.
#   keying_e2e.sh PATH/TO/vantrel-chat
set -euo pipefail
chat=$(realpath "${1:?usage: keying_e2e.sh vantrel-chat}")
root=$(cd "$(dirname "$0")/../.." && pwd)
for tool in Xvfb xdotool pulseaudio pactl socat rigctld rigctl python3 od; do
  command -v "$tool" >/dev/null || { echo "keying-e2e: $tool is not installed (scripts/install-deps)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/vantrel-keying-e2e.XXXXXX)
pids=()
cleanup() {
  local rc=$?
  [[ $rc -ne 0 ]] && import -window root /tmp/vantrel-keying-e2e-failure.png 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$root/scripts/pulse-stop" "$work/run" || true
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  if [[ $rc -ne 0 ]]; then for f in "$work"/*/chat.log; do [[ -f $f ]] && { echo "== $f" >&2; tail -5 "$f" >&2; }; done; fi
  rm -rf "$work"
  exit $rc
}
trap cleanup EXIT
fail() { echo "keying-e2e: $*" >&2; exit 1; }
step() { echo "keying-e2e: [${SECONDS}s] $*"; }

source "$root/tests/e2e/desktop.sh"
start_xvfb 120
unset QT_QPA_PLATFORM PULSE_SERVER
"$root/scripts/pulse-start" "$work/run" >/dev/null
export XDG_RUNTIME_DIR="$work/run"
xdotool mousemove 1270 1010

# A station's folder: line 4 port index, 5 method, 6 address, 20 the device, 21-25 Hamlib.
station() {  # name method device [rig-port]
  mkdir -p "$work/$1"
  printf '"DL1ABC"\r\n15\r\n122\r\n0\r\n"%s"\r\n"66"\r\n7\r\n4\r\n3\r\n1\r\n1\r\n"FEFEnnE01C0001FD"\r\n"FEFEnnE01C0000FD"\r\n0\r\n"HEX"\r\n-1\r\n-1\r\n480,900\r\n1\r\n"%s"\r\n%s\r\n2\r\n"localhost:%s"\r\n0\r\n1\r\n' \
    "$2" "$3" "$([[ -n ${4:-} ]] && echo 1 || echo 0)" "${4:-0}" >"$work/$1/Settings.ini"
}
start_chat() {  # name: sets chat_pid and win
  (cd "$work/$1" && exec "$chat") >"$work/$1/chat.log" 2>&1 &
  chat_pid=$!
  pids+=($chat_pid)
  win=""
  for _ in $(seq 150); do
    win=$(xdotool search --all --pid "$chat_pid" --name '^Vantrel 11 Baud Chat mode$' 2>/dev/null | head -n1 || true)
    [[ -n $win ]] && return 0
    sleep 0.1
  done
  fail "the window of $1 did not appear"
}
on_air() { pactl list sink-inputs 2>/dev/null | grep -q "application.process.id = \"$chat_pid\""; }
wait_for() {  # tenths-of-a-second description command...
  local n=$1 what=$2
  shift 2
  for _ in $(seq "$n"); do "$@" && return 0; sleep 0.1; done
  fail "$what (not within $((n / 10)).$((n % 10)) s)"
}
send() {  # text
  focus "$win"
  local height
  height=$(xdotool getwindowgeometry --shell "$win" | sed -n 's/^HEIGHT=//p')
  xdotool mousemove --window "$win" 300 $((height - 45)) click 1
  sleep 0.2
  xdotool key ctrl+a
  xdotool type --delay 10 -- "$1"
  xdotool key Return
  xdotool mousemove 1270 1010
}
boxes() { xdotool search --all --pid "$chat_pid" --name "^$1\$" 2>/dev/null | grep -c . || true; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
now() { date +%s%N; }

# --- CAT through a pseudo-terminal pair ---------------------------------------------------------
plug() {
  "$root/scripts/pty-pair" "$work/pty" 2>/dev/null &
  pty_pid=$!
  pids+=($pty_pid)
  for _ in $(seq 50); do [[ -e $work/pty/b ]] && break; sleep 0.1; done
  cat "$work/pty/b" >>"$work/radio.bin" 2>/dev/null &
  pids+=($!)
}
heard() { od -An -tx1 -v "$work/radio.bin" | tr -d ' \n'; }
heard_end_is() { [[ $(heard) == *"$1" ]]; }
key=fefe66e01c0001fd
unkey=fefe66e01c0000fd

: >"$work/radio.bin"
plug
station cat CAT "$work/pty/a"
start_chat cat
sleep 1
# The port is opened by APPLY in Options, PTT settings: the button sits at 81% across, 35% down.
focus "$win"; xdotool key alt+o; sleep 0.4; xdotool key Down; xdotool key Return; sleep 1
dialog=$(xdotool search --all --pid "$chat_pid" --name '^PTT settings' | head -n1)
[[ -n $dialog ]] || fail "the PTT settings dialog did not open"
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + WIDTH * 81 / 100)) $((Y + HEIGHT * 35 / 100)) click 1
wait_for 30 "opening the port did not send the receive frame" heard_end_is "$unkey"
step "port opened: the radio heard the receive frame first"

send "a sentence for an adapter that drops out"
wait_for 50 "the station did not go on the air" on_air
wait_for 20 "the radio was not keyed" heard_end_is "$key"
kill "$pty_pid"
wait_for 10 "the transmission went on with the adapter unplugged" eval '! on_air'
wait_for 20 "the window did not say the port went away" eval '(( $(boxes "PTT port") == 1 ))'
before=$(cpu_ticks "$chat_pid")
sleep 3
used=$(($(cpu_ticks "$chat_pid") - before))
ticks=$(getconf CLK_TCK)
((used * 100 < ticks * 3 * 5)) || fail "the window used $used ticks of 3 s while the port was gone (5% is $((ticks * 15 / 100)))"
send "refused"
sleep 1.5
on_air && fail "SEND went out unkeyed while the port was gone"
step "unplugged: off the air at once, said once, $used of $((ticks * 3)) ticks in 3 s, SEND refused"

: >"$work/radio.bin"
plug
wait_for 60 "the port did not come back in receive" heard_end_is "$unkey"
send "back again"
wait_for 50 "the station did not go on the air after the port came back" on_air
wait_for 20 "the radio was not keyed after the port came back" heard_end_is "$key"
step "plugged back in: the receive frame, then SEND keys the radio with no APPLY"

kill -KILL "$chat_pid"
wait_for 10 "no receive frame within 1 s of the window's death" heard_end_is "$unkey"
wait "$chat_pid" 2>/dev/null || true
step "window killed while keyed: the guardian sent the receive frame"

# --- rigctld, killed and started again ------------------------------------------------------------
ask() { timeout 5 rigctl -m 2 -r "localhost:$port" "$@" 2>/dev/null; }
ptt_is() { [[ $(ask t) == "$1" ]]; }
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
start_rigctld() {
  rigctld -m 1 -P RIG -T 127.0.0.1 -t "$port" >>"$work/rigctld.log" 2>&1 &
  rigctld_pid=$!
  pids+=($rigctld_pid)
  wait_for 50 "rigctld did not start" ptt_is 0
}
port=$(free_port)
start_rigctld
station rig PTT "" "$port"
start_chat rig
sleep 2
send "a sentence for a radio that goes away"
wait_for 50 "the station did not go on the air" on_air
wait_for 30 "rigctld was not keyed" ptt_is 1
kill -KILL "$rigctld_pid"
wait "$rigctld_pid" 2>/dev/null || true
wait_for 50 "the transmission went on with rigctld gone" eval '! on_air'
wait_for 50 "the window did not say the radio went away" eval '(( $(boxes "Rig control \(Hamlib\)") == 1 ))'
step "rigctld killed: off the air, said once"
sleep 3
start_rigctld
ask T 1
wait_for 50 "rigctld left keyed was not unkeyed within 5 s of coming back" ptt_is 0
step "rigctld back and left keyed: unkeyed"
send "a sentence for the radio that came back"
wait_for 50 "the station did not go on the air" on_air
wait_for 20 "the next SEND did not key rigctld" ptt_is 1
kill -KILL "$chat_pid"
wait_for 10 "PTT not 0 within 1 s of the window's death" ptt_is 0
wait "$chat_pid" 2>/dev/null || true
step "the next SEND keyed it; the window killed while keyed: the guardian unkeyed it"

# --- rigctld answering 1.5 s late -------------------------------------------------------------------
proxy_port=$(free_port)
station slow PTT "" "$proxy_port"
for offset in 1.6 2.0 2.4 6.3; do
  python3 "$root/tests/e2e/slow_proxy.py" "$proxy_port" "$port" 1.5 &
  proxy_pid=$!
  pids+=($proxy_pid)
  sleep 0.3
  kill -USR2 "$proxy_pid"  # quick while the window connects
  start_chat slow
  sleep 2
  kill -USR1 "$proxy_pid"
  sleep 2.5  # dial readings on the slow link now
  send "slow radio, cut off $offset s after keying"
  wait_for 50 "the station did not go on the air" on_air
  audio=$(now)
  wait_for 40 "the slow radio was not keyed" ptt_is 1
  keyed=$(now)
  ((keyed - audio <= 2000000000)) || fail "keyed $(((keyed - audio) / 1000000)) ms after the audio started"
  sleep "$offset"
  kill -TERM "$chat_pid"
  wait "$chat_pid" 2>/dev/null || true
  ptt_is 0 || fail "PTT still on after SIGTERM $offset s after keying"
  step "slow radio: keyed $(((keyed - audio) / 1000000)) ms after the audio; SIGTERM $offset s later: PTT 0"
  kill "$proxy_pid"
  wait "$proxy_pid" 2>/dev/null || true
done
echo "keying-e2e: passed"
