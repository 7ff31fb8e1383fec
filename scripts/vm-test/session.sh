#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Inside the virtual machine of scripts/vm-test.sh, as the ordinary user tester in a
# logind session (vm-test-session@.service):
#   session.sh KIND OUT     KIND: wayland or x11
# starts the display server of the session (wayland: a headless Weston with XWayland, as
# a Wayland desktop has; x11: Xvfb admitting only the holders of the key in
# ~/.Xauthority, with XAUTHORITY unset, as startx leaves it), starts the desktop entry's
# Exec line in it as a menu does, waits for Vantrel's dialog in the X window tree, closes
# it, and writes what it saw into OUT:
#   xhost-before.txt, xhost-during.txt, xhost-after.txt   the display's access list
#   windows.txt, windows-after.txt   the X window tree with the dialog up, and at the end
#   exec.txt, launcher.err, launcher.status   the Exec line, what it said, how it ended
#   closed-by.txt    who closed the dialog: the session (Escape), or root (asked for
#                    through close-request when the dialog did not take the key)
set -u
kind=${1:?usage: session.sh wayland|x11 OUT}
out=${2:?usage: session.sh wayland|x11 OUT}
entry=/usr/share/applications/com.tembric.Vantrel.desktop
say() { echo "vm-test session: $*"; }

start_wayland() {
  export XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-1
  weston --backend=headless-backend.so --use-pixman --xwayland --socket="$WAYLAND_DISPLAY" \
    --log="$out/weston.log" &
  server=$!
  # Weston listens for X clients on the first free display and starts XWayland for the
  # first one; nothing else on this machine has an X display.
  local socket=''
  for _ in $(seq 1 300); do
    socket=$(find /tmp/.X11-unix -name 'X*' 2>/dev/null | head -n 1)
    [ -n "$socket" ] && break
    sleep 0.2
  done
  [ -n "$socket" ] || { say "Weston offers no X display"; return 1; }
  export DISPLAY=":${socket##*/X}"
}

start_x11() {
  export XDG_SESSION_TYPE=x11 DISPLAY=:1
  unset XAUTHORITY
  xauth -q -f "$HOME/.Xauthority" add "$DISPLAY" . "$(od -An -tx1 -N16 /dev/urandom | tr -d ' \n')"
  Xvfb "$DISPLAY" -auth "$HOME/.Xauthority" -nolisten tcp -screen 0 1024x768x24 &
  server=$!
}

# true once the display answers (XWayland may take a while under emulation).
wait_display() {
  for _ in $(seq 1 300); do
    xhost >/dev/null 2>&1 && return 0
    sleep 0.5
  done
  return 1
}

# true once root's dialog is in the display's window tree.
wait_dialog() {
  for _ in $(seq 1 600); do
    xwininfo -root -tree > "$out/windows.txt" 2>&1
    grep -q '"Vantrel"' "$out/windows.txt" && return 0
    kill -0 "$launcher" 2>/dev/null || return 1
    sleep 0.5
  done
  return 1
}

# true once the launcher has ended, within SECONDS.
wait_launcher() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$launcher" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.5
  done
}

close_dialog() {
  local window
  window=$(xdotool search --onlyvisible --name '^Vantrel$' | head -n 1)
  xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
  sleep 1
  # Escape as a keyboard types it (XTEST, to the focus); where the X server routes such
  # keys nowhere (XWayland of a compositor without a keyboard), sent to the window.
  xdotool key Escape
  wait_launcher 30 || { xdotool key --window "$window" Escape; wait_launcher 30; }
  if ! kill -0 "$launcher" 2>/dev/null; then
    echo session > "$out/closed-by.txt"
    return
  fi
  say "the dialog did not take Escape: root ends Vantrel"
  : > "$out/close-request"
  wait_launcher 120 || say "Vantrel did not end"
}

server=''
start_"$kind" || exit 1
wait_display || { say "the display $DISPLAY does not answer"; exit 1; }
say "session $kind on display $DISPLAY"
xhost > "$out/xhost-before.txt" 2>&1

# The Exec line without a shell, as a menu runs it; its standard error is no terminal.
exec_line=$(sed -n 's/^Exec=//p' "$entry")
echo "$exec_line" > "$out/exec.txt"
read -ra command <<<"$exec_line"
"${command[@]}" </dev/null >"$out/launcher.out" 2>"$out/launcher.err" &
launcher=$!
if wait_dialog; then
  say "the dialog is up"
  xhost > "$out/xhost-during.txt" 2>&1
  sleep 2
  close_dialog
else
  say "no dialog appeared"
  if kill -0 "$launcher" 2>/dev/null; then
    : > "$out/close-request"
    wait_launcher 120
  fi
fi
wait "$launcher"
echo $? > "$out/launcher.status"
xhost > "$out/xhost-after.txt" 2>&1
xwininfo -root -tree > "$out/windows-after.txt" 2>&1
say "the Exec line ended with status $(cat "$out/launcher.status")"
[ -n "$server" ] && kill "$server"
wait
