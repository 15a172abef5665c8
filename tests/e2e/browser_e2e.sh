#!/usr/bin/env bash
# The signal browser in the whole program, as an operator uses it: `vantrel-chat --browser
# --play` with the busy-band sample under a private X server and sound server. The browser's
# rows must appear while the recording plays (its title counts them); a double click on the
# first row (the lowest station, DL1ABC, far outside the main receiver's range at 1000 Hz) must
# tune the main receiver there, so that DL1ABC's second call, which begins after the click, runs
# in the receive pane (read back through "Save RX screen to file NOW").
#   browser_e2e.sh PATH/TO/vantrel-chat PATH/TO/busy-band.flac
set -euo pipefail
chat=$(realpath "${1:?usage: browser_e2e.sh vantrel-chat busy-band.flac}")
sample=$(realpath "${2:?usage: browser_e2e.sh vantrel-chat busy-band.flac}")
root=$(cd "$(dirname "$0")/../.." && pwd)
for tool in Xvfb xdotool pulseaudio pactl soxi; do
  command -v "$tool" >/dev/null || { echo "browser: $tool is not installed (scripts/install-deps)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/vantrel-browser.XXXXXX)
pids=()
cleanup() {
  local rc=$?
  if [[ $rc -ne 0 ]] && command -v import >/dev/null; then
    import -window root "${E2E_FAILSHOT:-/tmp/vantrel-browser-failure.png}" 2>/dev/null || true
  fi
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$root/scripts/pulse-stop" "$work/run" || true
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  [[ $rc -ne 0 && -f $work/chat.log ]] && { echo "== chat.log" >&2; tail -20 "$work/chat.log" >&2; }
  rm -rf "$work"
  exit $rc
}
trap cleanup EXIT
fail() { echo "browser: $*" >&2; exit 1; }
step() { echo "browser: $*"; }

# DL1ABC's lines as the sample's text lists them: the first and the second call.
mapfile -t dl1abc < <(grep -oP '^[0-9]+ Hz\tDL1ABC: \K.*' "${sample%.flac}.txt")
((${#dl1abc[@]} == 2)) || fail "the sample's text should list two calls of DL1ABC"
second="DL1ABC: ${dl1abc[1]}"
duration=$(soxi -D "$sample")

source "$root/tests/e2e/desktop.sh"
start_xvfb 85
unset QT_QPA_PLATFORM PULSE_SERVER
"$root/scripts/pulse-start" "$work/run" >/dev/null
export XDG_RUNTIME_DIR=$work/run
mkdir -p "$work/station"

(cd "$work/station" && exec "$chat" --browser --play "$sample") >"$work/chat.log" 2>&1 &
chat_pid=$!
pids+=($chat_pid)
started=$SECONDS
win="" browser=""
for _ in $(seq 150); do
  win=$(xdotool search --all --pid "$chat_pid" --name '^Vantrel 11 Baud Chat mode$' 2>/dev/null | head -n1 || true)
  browser=$(xdotool search --all --pid "$chat_pid" --name '^Signal browser' 2>/dev/null | head -n1 || true)
  [[ -n $win && -n $browser ]] && break
  sleep 0.1
done
[[ -n $win && -n $browser ]] || fail "the main window and the browser did not both appear"
# Without a window manager both windows sit at the origin: the browser goes below.
xdotool windowmove "$browser" 0 560
step "window and browser up, playing $(basename "$sample") (${duration%.*} s)"

# Rows while it plays: the title counts the stations listed.
count=0
while ((SECONDS - started < ${duration%.*})); do
  title=$(xdotool getwindowname "$browser")
  [[ $title =~ ([0-9]+)\ stations?\ heard ]] && count=${BASH_REMATCH[1]}
  ((count >= 3)) && break
  sleep 0.5
done
((count >= 3)) || fail "the browser listed $count stations while the recording played ($title)"
rows_at=$((SECONDS - started))
((rows_at < 20)) || fail "the rows came only after $rows_at s, after DL1ABC's second call had begun"
step "$count stations listed after $rows_at s, while the recording plays"

# A double click on the first row: its middle, below the list's header.
focus "$browser"
xdotool mousemove --window "$browser" 60 31 click --repeat 2 --delay 120 1
sleep 0.5
step "double click on the first row"

# DL1ABC's second call begins at 27 s and runs into the pane once the receiver is there.
while ((SECONDS - started < ${duration%.*} + 3)); do sleep 1; done
# The pointer is parked first: a pointer moving while the menu is open takes its highlight away.
xdotool mousemove 1270 1010
focus "$win"
xdotool key alt+f
sleep 0.4
choose_item
sleep 0.6
saved=$(ls -t "$work/station"/Vantrel*.doc 2>/dev/null | head -n1 || true)
[[ -n $saved ]] || fail "the receive pane was not saved"
pane=$(tr -d '\r' <"$saved" | sed 's/[[:space:]]*$//')
grep -qFx -- "$second" <<<"$pane" || { echo "$pane" >&2; fail "the receive pane lacks [$second]"; }
kill -0 "$chat_pid" || fail "the window closed"
step "the receiver tuned to DL1ABC: its second call is in the receive pane"
echo "browser: passed"
