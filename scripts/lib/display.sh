# A virtual X display (Xvfb) for the scripts that take screenshots. Sourced;
# needs the xvfb and x11-utils packages.

display_pid=

# display_start: starts Xvfb on a free display number and exports DISPLAY.
# Ends the script with a message (and Xvfb's own) if the display does not
# answer within 10 seconds.
display_start() {
  local n log
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  log=$(mktemp)
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$log" 2>&1 &
  display_pid=$!
  export DISPLAY=:$n
  local _
  for _ in $(seq 50); do
    if xdpyinfo >/dev/null 2>&1; then
      rm -f "$log"
      return 0
    fi
    kill -0 "$display_pid" 2>/dev/null || break
    sleep 0.2
  done
  if kill -0 "$display_pid" 2>/dev/null; then
    echo "The virtual display $DISPLAY did not come up: Xvfb runs but did not answer within 10 s." >&2
  else
    echo "The virtual display $DISPLAY did not come up: Xvfb ended at its start." >&2
  fi
  if [ -s "$log" ]; then
    echo "Xvfb said:" >&2
    sed 's/^/  /' "$log" >&2
  fi
  rm -f "$log"
  display_stop
  exit 1
}

# display_stop: stops the display display_start started, if any.
display_stop() {
  if [ -n "$display_pid" ]; then
    kill "$display_pid" 2>/dev/null || true
    wait "$display_pid" 2>/dev/null || true
    display_pid=
  fi
}
