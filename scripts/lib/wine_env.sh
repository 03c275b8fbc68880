# The environment every Wine command of the scripts and the tests runs in.
# Sourced by the scripts and by tests/wine/prefix and tests/wine/wine-run.

# wine_env PREFIX [headless]: Wine in the private prefix PREFIX, quiet (set
# WINEDEBUG to see its traces), and without Mono and Gecko, which Wine would
# otherwise offer to install in every new prefix. With "headless", no X
# display either: the prefix's null graphics driver (tests/wine/prefix) shows
# the windows to nobody, and a display left in the environment would be used
# instead.
wine_env() {
  export WINEPREFIX=$1
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
  if [ "${2:-}" = headless ]; then
    unset DISPLAY WAYLAND_DISPLAY
  fi
}

