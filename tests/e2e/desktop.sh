# Sourced by the whole-program tests: a private X server and the operator's hands on it.
# Expects $work (the test's scratch folder), the array pids (killed at clean-up) and fail().

# Starts Xvfb on the first free display from $1 on and points DISPLAY at it.
start_xvfb() {  # first-display
  local disp=$1
  while [[ -e /tmp/.X11-unix/X$disp || -e /tmp/.X$disp-lock ]]; do disp=$((disp + 1)); done
  Xvfb ":$disp" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  export DISPLAY=":$disp"
  for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
  xdotool getdisplaygeometry >/dev/null || fail "Xvfb did not start"
  root_window=$(xdotool search --maxdepth 0 --name '' | head -n1)
}

# Without a window manager nothing raises or focuses a window by itself.
focus() {  # window
  xdotool windowraise "$1" 2>/dev/null || true
  xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
  sleep 0.3
}

# Return chooses the open menu's item, but its release would then reach the transmit entry,
# where the release of Return means SEND: the key goes up while the root window has the focus
# (and the pointer, parked off every menu), so nobody receives it.
choose_item() {
  xdotool mousemove 1270 1010
  xdotool keydown Return
  sleep 0.3
  xdotool windowfocus "$root_window" 2>/dev/null || true
  xdotool keyup Return
  sleep 0.3
}

# A station under $work: its own working directory with its callsign in Settings.ini and its
# receiver on line 19 (1 Sensitive receive, the default; 0 the standard receiver).
make_station() {  # name callsign [receiver]
  mkdir -p "$work/$1"
  printf '"%s"\r\n15\r\n122\r\n1\r\n"PTT"\r\n"  "\r\n7\r\n4\r\n3\r\n1\r\n1\r\n"FEFEnnE01C0001FD"\r\n"FEFEnnE01C0000FD"\r\n0\r\n"HEX"\r\n-1\r\n-1\r\n480,900\r\n%s\r\n""\r\n' \
    "$2" "${3:-1}" >"$work/$1/Settings.ini"
}
