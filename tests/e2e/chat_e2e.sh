#!/usr/bin/env bash
# Two chat windows on one private sound server, driven as an operator would: one sends a
# sentence, the other's receive pane must show it exactly (read back through "Save RX screen
# to file NOW"), at 11 and at 22 baud; then the other answers. Then the sound server goes away
# in the middle of a transmission: both windows must say so and run on. Last, a window started
# with no sound server at all must open and say "Can't open soundcard for input" once.
# Starts and stops its own X server (Xvfb) and PulseAudio server. With VANTREL_SOUND_SERVER=pipewire
# the server is PipeWire with pipewire-pulse, as Debian 12 desktops run it, and the run ends once
# the first sentence has crossed.
#   chat_e2e.sh PATH/TO/vantrel-chat
set -euo pipefail
chat=$(realpath "${1:?usage: chat_e2e.sh vantrel-chat}")
root=$(cd "$(dirname "$0")/../.." && pwd)
server=pulse daemon=pulseaudio
[[ ${VANTREL_SOUND_SERVER:-} == pipewire ]] && server=pipewire daemon=pipewire-pulse
for tool in Xvfb xdotool "$daemon" pactl pacat; do
  command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed (scripts/install-deps)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/vantrel-e2e.XXXXXX)
pids=()
cleanup() {
  local rc=$?
  if [[ $rc -ne 0 ]] && command -v import >/dev/null; then
    import -window root "${E2E_FAILSHOT:-/tmp/vantrel-e2e-failure.png}" 2>/dev/null || true
  fi
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$root/scripts/$server-stop" "$work/run" || true
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  if [[ $rc -ne 0 ]]; then
    echo "e2e: failed; logs follow" >&2
    for f in "$work"/*.log "$work"/*/*.log; do [[ -f $f ]] && { echo "== $f" >&2; tail -20 "$f" >&2; }; done
  fi
  rm -rf "$work"
  exit $rc
}
trap cleanup EXIT

fail() { echo "e2e: $*" >&2; exit 1; }
step() { echo "e2e: $*"; }

# Private X server on a free display.
source "$root/tests/e2e/desktop.sh"
start_xvfb 70
unset QT_QPA_PLATFORM PULSE_SERVER

"$root/scripts/$server-start" "$work/run" >/dev/null
export XDG_RUNTIME_DIR="$work/run"

start_station() {  # name -> sets REPLY to the window id
  (cd "$work/$1" && exec "$chat") >"$work/$1/chat.log" 2>&1 &
  local pid=$!
  pids+=($pid)
  STATION_PID=$pid
  REPLY=""
  for _ in $(seq 150); do
    REPLY=$(xdotool search --all --pid "$pid" --name '^Vantrel 11 Baud Chat mode$' 2>/dev/null | head -n1 || true)
    [[ -n $REPLY ]] && return 0
    sleep 0.1
  done
  fail "the window of $1 did not appear"
}


# The newest saved receive text of a station, after saving it once more.
save_rx() {  # win name
  focus "$1"
  xdotool key alt+f
  sleep 0.4
  choose_item
  sleep 0.6
  focus "$1"
  local newest
  newest=$(ls -t "$work/$2"/Vantrel*.doc 2>/dev/null | head -n1 || true)
  [[ -n $newest ]] && cat "$newest"
  return 0
}

# True once the station's receive pane holds the line exactly (trailing blanks aside).
pane_has_line() {  # win name line
  save_rx "$1" "$2" | tr -d '\r' | sed 's/[[:space:]]*$//' | grep -Fxq -- "$3"
}

wait_for_line() {  # win name line seconds
  local deadline=$((SECONDS + $4))
  while ((SECONDS < deadline)); do
    pane_has_line "$1" "$2" "$3" && return 0
    sleep 2
  done
  echo "e2e: receive pane of $2 holds:" >&2
  save_rx "$1" "$2" | cat -A >&2 || true
  fail "$2 never showed [$3]"
}

# True once the station's receive pane holds the text anywhere.
wait_for_text() {  # win name text seconds
  local deadline=$((SECONDS + $4))
  while ((SECONDS < deadline)); do
    save_rx "$1" "$2" | tr -d '\r\n' | grep -Fq -- "$3" && return 0
    sleep 2
  done
  echo "e2e: receive pane of $2 holds:" >&2
  save_rx "$1" "$2" | cat -A >&2 || true
  fail "$2 never showed [$3]"
}

send_line() {  # win text
  focus "$1"
  # Click into the transmit entry, the wide field above the status row and line, as an operator
  # would before typing.
  local height
  height=$(xdotool getwindowgeometry --shell "$1" | sed -n 's/^HEIGHT=//p')
  xdotool mousemove --window "$1" 300 $((height - 60)) click 1
  sleep 0.3
  xdotool type --delay 15 -- "$2"
  xdotool key Return
}

set_speed() {  # win downs title
  focus "$1"
  xdotool key alt+m
  sleep 0.4
  for _ in $(seq "$2"); do xdotool key Down; done
  choose_item
  sleep 0.8
  xdotool getwindowname "$1" | grep -Fxq -- "$3" || fail "speed change to [$3] did not happen"
}

# alpha receives with the standard receiver, bravo with Sensitive receive: one exchange each way.
make_station alpha DL1ABC 0
make_station bravo DL2XYZ
start_station alpha; alpha=$REPLY; alpha_pid=$STATION_PID
start_station bravo; bravo=$REPLY; bravo_pid=$STATION_PID
step "two stations up ($alpha, $bravo)"
sleep 2

first="CQ CQ de DL1ABC, the quick brown fox jumps over 13 lazy dogs"
send_line "$alpha" "$first"
wait_for_line "$bravo" bravo "DL1ABC: $first" 60
step "11 baud: bravo read alpha"
if [[ $server == pipewire ]]; then
  echo "e2e: passed (PipeWire)"
  exit 0
fi

# The echo in the sender's own pane, and nothing left in its entry.
pane_has_line "$alpha" alpha "DL1ABC: $first" || fail "alpha's echo is missing"

# Both to 22 baud: the sixth item of the mode menu.
set_speed "$alpha" 5 "Vantrel 22 Baud Chat mode"
set_speed "$bravo" 5 "Vantrel 22 Baud Chat mode"
second="73 and good DX, QTH is the null sink"
send_line "$alpha" "$second"
wait_for_line "$bravo" bravo "DL1ABC: $second" 40
step "22 baud: bravo read alpha"

# The standard receiver pulls its symbol timing in only after the preamble and may lose the
# first characters (the line break and call sign before the text): the text itself must come.
answer="DL1ABC de DL2XYZ: fine copy, name is Bob. BK"
send_line "$bravo" "$answer"
wait_for_text "$alpha" alpha "DL2XYZ: fine copy, name is Bob. BK" 40
step "22 baud: alpha read bravo's answer with the standard receiver"

# Message boxes (by caption) that a station shows now.
boxes_of() {  # pid caption
  xdotool search --all --pid "$1" --name "^$2\$" 2>/dev/null || true
}

# The sound server goes away in the middle of a transmission: both windows say so and run on.
send_line "$alpha" "a long call that the sound server will not see to its end, de DL1ABC"
sleep 3
"$root/scripts/$server-stop" "$work/run"
for _ in $(seq 100); do
  [[ -n $(boxes_of "$alpha_pid" OUTPUT) && -n $(boxes_of "$bravo_pid" INPUT) ]] && break
  sleep 0.1
done
[[ -n $(boxes_of "$alpha_pid" OUTPUT) ]] || fail "the sender did not say that its output stopped"
[[ -n $(boxes_of "$bravo_pid" INPUT) ]] || fail "the listener did not say that its input stopped"
kill -0 "$alpha_pid" && kill -0 "$bravo_pid" || fail "a window closed when the sound server went away"
step "sound server gone: both stations said so and run on"
kill "$alpha_pid" "$bravo_pid" 2>/dev/null || true

# No sound server at all: the window opens anyway and says so once.
mkdir -p "$work/silent-run" && chmod 700 "$work/silent-run"
export XDG_RUNTIME_DIR="$work/silent-run"
make_station charlie DL3QRP
(cd "$work/charlie" && exec "$chat") >"$work/charlie/chat.log" 2>&1 &
charlie_pid=$!
pids+=($charlie_pid)
boxes=""
for _ in $(seq 150); do
  boxes=$(xdotool search --all --pid "$charlie_pid" --name '^INPUT$' 2>/dev/null || true)
  [[ -n $boxes ]] && break
  sleep 0.1
done
[[ $(printf '%s\n' "$boxes" | grep -c .) -eq 1 ]] || fail "expected one INPUT message box, found [$boxes]"
focus "$boxes"
xdotool key space
sleep 2
kill -0 "$charlie_pid" 2>/dev/null || fail "the window closed without a sound server"
xdotool search --all --pid "$charlie_pid" --name '^Vantrel 11 Baud Chat mode$' >/dev/null || fail "no main window without a sound server"
[[ -z $(xdotool search --all --pid "$charlie_pid" --name '^INPUT$' 2>/dev/null || true) ]] || fail "the INPUT message came twice"
step "no sound server: window open, said so once"
echo "e2e: passed"
