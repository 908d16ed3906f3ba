#!/usr/bin/env bash
# Sourced: starts a private X server when there is no display and exports
# DISPLAY; xvfb_stop ends it.
xvfb_pid=""
xvfb_start() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$n"
      return 0
    fi
  done
  echo "could not start Xvfb" >&2
  return 1
}
xvfb_stop() {
  [ -n "${answer_pid:-}" ] && kill "$answer_pid" 2>/dev/null
  answer_pid=""
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=""
}

# On a private X server nobody can press the buttons of the start-up notices
# (a companion module that is missing, say): answer each dialog titled
# "syslog" with its default button, as long as the program runs. The main
# window, titled "syslog" in English, is not a dialog and is left alone.
# xvfb_stop ends it.
answer_pid=""
xvfb_answer_notices() {
  (
    while kill -0 $$ 2>/dev/null; do
      for w in $(xdotool search --name '^syslog$' 2>/dev/null); do
        xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG || continue
        xdotool windowfocus --sync "$w" key Return 2>/dev/null || true
      done
      sleep 0.3
    done
  ) &
  answer_pid=$!
}
