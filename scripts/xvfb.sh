#!/usr/bin/env bash
# Sourced: starts a private X server when there is no display and exports
# DISPLAY; xvfb_stop ends it.
xvfb_pid=""
# -noreset: by default the server resets each time its last client leaves,
# and a client that connects during the reset gets "cannot open display";
# test cases that start and end in parallel hit that window now and then.
# -displayfd: the server takes the first free display number itself and
# writes it once it accepts connections, so runs at the same time never race
# for one number.
xvfb_start() {
  local out n=""
  out=$(mktemp /tmp/logserver-xvfb.XXXXXX)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$out" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    n=$(head -n 1 "$out")
    [ -n "$n" ] || ! kill -0 "$xvfb_pid" 2>/dev/null && break
    sleep 0.1
  done
  rm -f "$out"
  if [ -n "$n" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
    export DISPLAY=":$n"
    # The pointer goes to a corner that no window reaches: a pointer over the
    # windows of programs that come and go makes GTK query windows that
    # another client may just have destroyed (a fatal BadWindow).
    xdotool mousemove 1279 1023 2>/dev/null || true
    return 0
  fi
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
