#!/usr/bin/env bash
# The operator's station, whole program, on a private sound server: alpha's line in bravo's
# receive log stamped within 3 s of its end, kept after a SIGKILL; alpha's TX line; bravo's
# Ctrl+L and Return log alpha's call from the air (read by an ADIF reader), Ctrl+1 sends macro 1
# to alpha; charlie, in a read-only folder, says once that it cannot log and receives on.
#   station_e2e.sh PATH/TO/vantrel-chat
set -euo pipefail
chat=$(realpath "${1:?usage: station_e2e.sh vantrel-chat}")
root=$(cd "$(dirname "$0")/../.." && pwd)
reader="$root/tests/adif_reader"
for tool in Xvfb xdotool xclip pulseaudio pactl pacat node "$reader/node_modules/adif-parser-ts"; do
  command -v "$tool" >/dev/null || [[ -d $tool ]] || { echo "e2e: $tool is not installed (scripts/install-deps)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/vantrel-station-e2e.XXXXXX)
pids=()
cleanup() {
  local rc=$?
  set +e
  ((rc)) && import -window root "${E2E_FAILSHOT:-/tmp/vantrel-station-e2e-failure.png}" 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  "$root/scripts/pulse-stop" "$work/run" || true
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  ((rc)) && for f in "$work"/*.log "$work"/*/VantrelLog-*.txt; do echo "== $f" >&2; tail -20 "$f" >&2; done
  chmod -R u+w "$work"
  rm -rf "$work"
  exit $rc
}
trap cleanup EXIT
fail() { echo "e2e: $*" >&2; exit 1; }
step() { echo "e2e: $*"; }

source "$root/tests/e2e/desktop.sh"
start_xvfb 110
unset QT_QPA_PLATFORM PULSE_SERVER
"$root/scripts/pulse-start" "$work/run" >/dev/null
export XDG_RUNTIME_DIR="$work/run"

start_station() {  # name [command...] -> REPLY window id, STATION_PID
  local name=$1
  shift
  (cd "$work/$name" && exec "${@:-$chat}") >"$work/$name.log" 2>&1 &
  STATION_PID=$!
  pids+=($STATION_PID)
  for _ in $(seq 150); do
    REPLY=$(xdotool search --all --pid "$STATION_PID" --name '^Vantrel 11 Baud Chat mode$' 2>/dev/null | head -n1 || true)
    [[ -n $REPLY ]] && return 0
    sleep 0.1
  done
  fail "the window of $name did not appear"
}

send_line() {  # win text: typed into the transmit entry, just above the status row
  focus "$1"
  xdotool mousemove --window "$1" 300 $(($(xdotool getwindowgeometry --shell "$1" | sed -n 's/^HEIGHT=//p') - 45)) click 1
  sleep 0.3
  xdotool type --delay 15 -- "$2"
  xdotool key Return
}

log_of() { cat "$work/$1"/VantrelLog-*.txt 2>/dev/null || true; }
# The first record of a station's log that holds the text, stamp and all.
record_in() {  # name direction text
  log_of "$1" | tr -d '\r' | grep -F -- " $2 $3" | head -n1 || true
}
wait_record() {  # name direction text seconds
  local deadline=$((SECONDS + $4)) found
  while ((SECONDS < deadline)); do
    found=$(record_in "$1" "$2" "$3")
    [[ -n $found ]] && { REPLY=$found; return 0; }
    sleep 0.2
  done
  fail "$1's log never held [$2 $3]"
}
stamp_seconds() { date -u -d "$(cut -c1-19 <<<"$1")" +%s; }
# Keys for one window, once it surely has the focus (a box shown elsewhere may have taken it).
keys_to() {  # win keys...
  for _ in 1 2 3; do focus "$1"; [[ $(xdotool getwindowfocus) == "$1" ]] && break; done
  [[ $(xdotool getwindowfocus) == "$1" ]] || fail "window $1 does not take the focus"
  xdotool key "${@:2}"
}
boxes_of() { xdotool search --all --pid "$1" --name "^$2\$" 2>/dev/null || true; }

make_station alpha DL1ABC
make_station bravo DL2XYZ
make_station charlie DL3QRP
start_station alpha; alpha=$REPLY
start_station bravo; bravo=$REPLY; bravo_pid=$STATION_PID
# Charlie's folder is read-only: as root through a read-only bind mount seen by charlie alone
# (root writes through any permission), as anybody else by its permissions.
if [[ $(id -u) -eq 0 ]]; then
  start_station charlie unshare -m sh -c \
    'mount --bind -o ro "$1" "$1" && cd "$1" && ! touch probe 2>/dev/null && exec "$2"' sh "$work/charlie" "$chat"
else
  chmod a-w "$work/charlie"
  start_station charlie
fi
charlie=$REPLY; charlie_pid=$STATION_PID
step "three stations up"
sleep 2

line="CQ CQ de DL1ABC, name is Al, pse K"
send_line "$alpha" "$line"
wait_record alpha TX "DL1ABC: $line" 60
sent_at=$(stamp_seconds "$REPLY")
wait_record bravo RX "DL1ABC: $line" 5
heard_at=$(stamp_seconds "$REPLY")
((heard_at - sent_at <= 3 && sent_at - heard_at <= 3)) || fail "bravo's record is stamped $heard_at, the line ended $sent_at"
log_of bravo | grep -q $'\r$' || fail "bravo's log has no CR LF line ends"
step "bravo's log holds alpha's line (stamped $((heard_at - sent_at)) s from its end); alpha's log the TX line"

# Charlie: one box about its log, nothing else, and the line in its pane (read back through the
# clipboard: its folder takes no saved text).
for _ in $(seq 50); do [[ -n $(boxes_of "$charlie_pid" "Receive log") ]] && break; sleep 0.1; done
[[ $(boxes_of "$charlie_pid" "Receive log" | grep -c .) -eq 1 ]] || fail "charlie did not say once that its log cannot be written"
focus "$charlie"
xdotool mousemove --window "$charlie" 100 100 click 1
keys_to "$charlie" ctrl+a ctrl+c
sleep 0.5
xclip -o -selection clipboard -display "$DISPLAY" | grep -Fq "DL1ABC: $line" || fail "charlie's pane does not hold the line"
windows=$(xdotool search --all --pid "$charlie_pid" --onlyvisible --name '.' 2>/dev/null | grep -c .)
[[ $windows -eq 2 ]] || fail "charlie shows $windows windows, not its own and the one box"
step "charlie, read-only folder: one box, and it received the line"

# Bravo logs the contact: the call came from the air.
keys_to "$bravo" ctrl+l
for _ in $(seq 50); do dialog=$(boxes_of "$bravo_pid" "Log this QSO" | head -n1); [[ -n $dialog ]] && break; sleep 0.1; done
[[ -n $dialog ]] || fail "Ctrl+L opened no QSO dialog in bravo"
keys_to "$dialog" Return
sleep 1
[[ -z $(boxes_of "$bravo_pid" "Log this QSO") ]] || fail "Return did not close the QSO dialog"
json=$(node "$reader/read_adif.js" "$work/bravo/VantrelLog.adi")
for field in '"call":"DL1ABC"' '"mode":"MFSK"' '"station_callsign":"DL2XYZ"' '"app_vantrelchat_speed":"11"' '"programid":"VantrelChat"'; do
  [[ $(grep -o '"call":' <<<"$json" | wc -l) -eq 1 ]] && grep -Fq "$field" <<<"$json" || fail "bravo's ADIF log reads $json"
done
step "bravo logged the contact with DL1ABC from the air"

# Shift only puts a macro into the entry; macro 1 from bravo goes out with bravo's call in it.
keys_to "$bravo" ctrl+shift+3 ctrl+a ctrl+c
sleep 0.5
[[ $(xclip -o -selection clipboard -display "$DISPLAY") == "DL1ABC de DL2XYZ tnx for the QSO, 73 SK" ]] ||
  fail "Ctrl+Shift+3 left [$(xclip -o -selection clipboard)] in bravo's entry"
keys_to "$bravo" ctrl+1
macro="DL2XYZ: CQ CQ CQ de DL2XYZ DL2XYZ pse K"
wait_record alpha RX "$macro" 60
wait_record bravo TX "$macro" 5
[[ -z $(record_in alpha RX "DL2XYZ: DL1ABC de") ]] || fail "Ctrl+Shift+3 sent its macro"
step "Ctrl+1: alpha received bravo's macro"

kill -KILL "$bravo_pid"
wait "$bravo_pid" 2>/dev/null || true
[[ -n $(record_in bravo RX "DL1ABC: $line") && -n $(record_in bravo TX "$macro") ]] || fail "bravo's log lost lines when it was killed"
step "bravo killed with SIGKILL: its log holds every line"
echo "e2e: passed"
