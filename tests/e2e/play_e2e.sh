#!/usr/bin/env bash
# The installed program tried as a newcomer without a radio would: `vantrel-chat --play` with the
# installed sample recording, under a private X server and with no sound server at all. The
# receive pane must show the sample's lines (read back through "Save RX screen to file NOW"), and
# the sound card's input must not be tried while the recording plays: its "Can't open soundcard
# for input" box comes once, and only when the recording has ended.
#   play_e2e.sh BUILD_DIR
set -euo pipefail
build=$(realpath "${1:?usage: play_e2e.sh BUILD_DIR}")
for tool in Xvfb xdotool soxi; do
  command -v "$tool" >/dev/null || { echo "play: $tool is not installed (scripts/install-deps)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/vantrel-play.XXXXXX)
pids=()
cleanup() {
  local rc=$?
  if [[ $rc -ne 0 ]] && command -v import >/dev/null; then
    import -window root "${E2E_FAILSHOT:-/tmp/vantrel-play-failure.png}" 2>/dev/null || true
  fi
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  [[ $rc -ne 0 && -f $work/chat.log ]] && { echo "== chat.log" >&2; tail -20 "$work/chat.log" >&2; }
  rm -rf "$work"
  exit $rc
}
trap cleanup EXIT
fail() { echo "play: $*" >&2; exit 1; }
step() { echo "play: $*"; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
chat=$work/prefix/bin/vantrel-chat
sample=$work/prefix/share/vantrel-chat/sample-exchange.flac
mapfile -t lines <"$work/prefix/share/vantrel-chat/sample-exchange.txt"
duration=$(soxi -D "$sample")

source "$(dirname "$0")/desktop.sh"
start_xvfb 80

# No sound server, and none to be started on demand.
unset QT_QPA_PLATFORM
mkdir -m 700 "$work/run" "$work/station"
export XDG_RUNTIME_DIR=$work/run PULSE_SERVER=unix:$work/run/no-sound-server

(cd "$work/station" && exec "$chat" --play "$sample") >"$work/chat.log" 2>&1 &
chat_pid=$!
pids+=($chat_pid)
started=$SECONDS
win=""
for _ in $(seq 150); do
  win=$(xdotool search --all --pid "$chat_pid" --name '^Vantrel 11 Baud Chat mode$' 2>/dev/null | head -n1 || true)
  [[ -n $win ]] && break
  sleep 0.1
done
[[ -n $win ]] || fail "the window did not appear"
step "window up, playing $(basename "$sample") (${duration%.*} s)"

input_boxes() { xdotool search --all --pid "$chat_pid" --name '^INPUT$' 2>/dev/null || true; }
save_rx() {
  focus "$win"
  xdotool key alt+f
  sleep 0.4
  choose_item
  sleep 0.5
  local newest
  newest=$(ls -t "$work/station"/Vantrel*.doc 2>/dev/null | head -n1 || true)
  [[ -n $newest ]] && tr -d '\r' <"$newest" | sed 's/[[:space:]]*$//'
  return 0
}

# The first line arrives while the recording still plays, and the input stays untried.
seen=""
while ((SECONDS - started < 60)); do
  [[ -z $(input_boxes) ]] || fail "the sound card's input was tried while the recording played"
  pane=$(save_rx)
  if grep -qFx -- "${lines[0]}" <<<"$pane"; then seen=yes; break; fi
  sleep 1
done
[[ -n $seen ]] || { echo "$pane" >&2; fail "the receive pane never showed [${lines[0]}]"; }
((SECONDS - started < ${duration%.*})) || fail "the first line came only after the recording's length"
[[ -z $(input_boxes) ]] || fail "the sound card's input was tried while the recording played"
step "receive pane shows the first line; sound card input not tried"

# At the end of the recording the input is tried, once: with no sound server it says so.
boxes=""
while ((SECONDS - started < ${duration%.*} + 60)); do
  boxes=$(input_boxes)
  [[ -n $boxes ]] && break
  sleep 0.2
done
[[ -n $boxes ]] || fail "the sound card's input was never tried after the recording"
elapsed=$((SECONDS - started))
((elapsed >= ${duration%.*} - 2)) || fail "the input was tried after $elapsed s, before the recording's end"
[[ $(printf '%s\n' "$boxes" | grep -c .) -eq 1 ]] || fail "expected one INPUT box, found [$boxes]"
focus "$boxes"
xdotool key space
sleep 1
pane=$(save_rx)
for line in "${lines[@]}"; do
  grep -qFx -- "$line" <<<"$pane" || { echo "$pane" >&2; fail "the receive pane lacks [$line]"; }
done
kill -0 "$chat_pid" || fail "the window closed"
[[ -z $(input_boxes) ]] || fail "the INPUT message came twice"
step "recording ended after $elapsed s: input tried once, every line of the sample shown"
echo "play: passed"
