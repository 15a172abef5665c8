# Sourced by the whole-program tests of one station on private X and sound servers: set-up and
# clean-up, the station's folder and window, and an operator sending. Expects $root and $chat.
source "$root/tests/e2e/desktop.sh"

begin() {  # test-name first-display
  name=$1
  work=$(mktemp -d "/tmp/vantrel-$1.XXXXXX")
  pids=()
  trap finish EXIT
  start_xvfb "$2"
  unset QT_QPA_PLATFORM PULSE_SERVER
  "$root/scripts/pulse-start" "$work/run" >/dev/null
  export XDG_RUNTIME_DIR="$work/run"
  # Off every menu: a menu loses its chosen item when the pointer moves out of it.
  xdotool mousemove 1270 1010
}
finish() {
  local rc=$?
  [[ $rc -ne 0 ]] && import -window root "/tmp/vantrel-$name-failure.png" 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$root/scripts/pulse-stop" "$work/run" || true
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  [[ $rc -ne 0 ]] && tail -n 5 "$work"/*/chat.log >&2
  rm -rf "$work"
  exit $rc
}
fail() { echo "$name: $*" >&2; exit 1; }
step() { echo "$name: [${SECONDS}s] $*"; }

# A station's folder for the call sign DL1ABC: keying method and device (Settings.ini lines 5 and
# 20, radio address 66) and, given a port, Hamlib's network model at localhost:PORT (21-25).
station() {  # name method device [rig-port]
  mkdir -p "$work/$1"
  printf '"DL1ABC"\r\n15\r\n122\r\n0\r\n"%s"\r\n"66"\r\n7\r\n4\r\n3\r\n1\r\n1\r\n"FEFEnnE01C0001FD"\r\n"FEFEnnE01C0000FD"\r\n0\r\n"HEX"\r\n-1\r\n-1\r\n480,900\r\n1\r\n"%s"\r\n%s\r\n2\r\n"localhost:%s"\r\n0\r\n1\r\n' \
    "$2" "$3" "$([[ -n ${4:-} ]] && echo 1 || echo 0)" "${4:-0}" >"$work/$1/Settings.ini"
}
start_chat() {  # name: sets chat_pid and win
  (cd "$work/$1" && exec "$chat") >"$work/$1/chat.log" 2>&1 &
  chat_pid=$!
  pids+=($chat_pid)
  wait_for 150 "the window of $1 did not appear" eval \
    'win=$(xdotool search --all --pid "$chat_pid" --name "^Vantrel 11 Baud Chat mode\$" 2>/dev/null | head -n1) && [[ -n $win ]]'
}
# The station's playback stream exists exactly while it transmits.
on_air() { pactl list sink-inputs 2>/dev/null | grep -q "application.process.id = \"$chat_pid\""; }
wait_for() {  # tenths-of-a-second description command...
  local n=$1 what=$2
  shift 2
  for _ in $(seq "$n"); do "$@" && return 0; sleep 0.1; done
  fail "$what (not within $((n / 10)).$((n % 10)) s)"
}
window_of() { xdotool search --all --pid "$chat_pid" --name "^$1\$" 2>/dev/null | head -n1 || true; }
# Clicks into the transmit entry, replaces its text, and sends it with the given keys.
send() {  # text key-command...
  focus "$win"
  local height
  height=$(xdotool getwindowgeometry --shell "$win" | sed -n 's/^HEIGHT=//p')
  xdotool mousemove --window "$win" 300 $((height - 60)) click 1
  xdotool key ctrl+a
  xdotool type --delay 10 -- "$1"
  shift
  if (($#)); then "$@"; else xdotool key Return; fi
  xdotool mousemove 1270 1010
}
