#!/usr/bin/env bash
# The radio link comes and goes and the radio is never left keyed, as an operator would see it:
# CAT on a pseudo-terminal pair standing in for a USB adapter that is unplugged during a
# transmission and plugged back in; a rigctld killed during a transmission and started again;
# a rigctld answering 1.5 s late (slow_proxy.py), the window ended by SIGTERM 1.6 to 6.3 s after
# keying; the window killed while keyed by CAT and by rigctld. Starts and stops every server.
#   keying_e2e.sh PATH/TO/vantrel-chat
set -euo pipefail
chat=$(realpath "${1:?usage: keying_e2e.sh vantrel-chat}")
root=$(cd "$(dirname "$0")/../.." && pwd)
for tool in Xvfb xdotool pulseaudio pactl socat rigctld rigctl python3 od; do
  command -v "$tool" >/dev/null || { echo "keying-e2e: $tool is not installed (scripts/install-deps)" >&2; exit 1; }
done

source "$root/tests/e2e/station.sh"
begin keying-e2e 120
boxes() { xdotool search --all --pid "$chat_pid" --name "^$1\$" 2>/dev/null | grep -c . || true; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
now() { date +%s%N; }
kill9() { disown "$1"; kill -KILL "$1"; }  # quietly: no job report

# CAT through a pseudo-terminal pair, the radio's end read into radio.bin.
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
# The port is opened by APPLY in Options, PTT settings: the button sits at 75% across, 22% down.
focus "$win"; xdotool key alt+o; sleep 0.4; xdotool key Down; xdotool key Return; sleep 1
dialog=$(xdotool search --all --pid "$chat_pid" --name '^PTT settings' | head -n1)
[[ -n $dialog ]] || fail "the PTT settings dialog did not open"
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + WIDTH * 75 / 100)) $((Y + HEIGHT * 22 / 100)) click 1
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
send "refused"; sleep 1.5
on_air && fail "SEND went out unkeyed while the port was gone"
step "unplugged: off the air at once, said once, $used of $((ticks * 3)) ticks in 3 s, SEND refused"

: >"$work/radio.bin"
plug
wait_for 60 "the port did not come back in receive" heard_end_is "$unkey"
send "back again"
wait_for 50 "the station did not go on the air after the port came back" on_air
wait_for 20 "the radio was not keyed after the port came back" heard_end_is "$key"
step "plugged back in: the receive frame, then SEND keys the radio with no APPLY"

kill9 "$chat_pid"
wait_for 10 "no receive frame within 1 s of the window's death" heard_end_is "$unkey"
step "window killed while keyed: the guardian sent the receive frame"

# A rigctld killed and started again.
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
kill9 "$rigctld_pid"
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
kill9 "$chat_pid"
wait_for 10 "PTT not 0 within 1 s of the window's death" ptt_is 0
step "the next SEND keyed it; the window killed while keyed: the guardian unkeyed it"

# The same rigctld answering 1.5 s late.
proxy_port=$(free_port)
station slow PTT "" "$proxy_port"
for offset in 1.6 2.0 2.4 6.3; do
  python3 "$root/tests/e2e/slow_proxy.py" "$proxy_port" "$port" 1.5 &
  proxy_pid=$!
  pids+=($proxy_pid)
  sleep 0.3
  kill -USR2 "$proxy_pid"  # quick while the window connects, then slow for its dial readings
  start_chat slow
  sleep 2
  kill -USR1 "$proxy_pid"
  sleep 2.5
  send "slow radio, cut off $offset s after keying"
  wait_for 50 "the station did not go on the air" on_air && audio=$(now)
  wait_for 40 "the slow radio was not keyed" ptt_is 1 && keyed=$(now)
  ((keyed - audio <= 2000000000)) || fail "keyed $(((keyed - audio) / 1000000)) ms after the audio started"
  sleep "$offset"
  kill -TERM "$chat_pid"
  wait "$chat_pid" 2>/dev/null || true
  ptt_is 0 || fail "PTT still on after SIGTERM $offset s after keying"
  step "slow radio: keyed $(((keyed - audio) / 1000000)) ms after the audio; SIGTERM $offset s later: PTT 0"
  kill "$proxy_pid"; wait "$proxy_pid" 2>/dev/null || true
done
echo "keying-e2e: passed"
