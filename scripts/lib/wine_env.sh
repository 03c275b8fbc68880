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
  case ";${WINEDLLOVERRIDES:-};" in
    *";mscoree,mshtml=;"*) ;;  # set by the script that runs this one
    *) export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}" ;;
  esac
  if [ "${2:-}" = headless ]; then
    unset DISPLAY WAYLAND_DISPLAY
  fi
}

# wine_fonts: puts Wine's own fonts (Debian's fonts-wine) into the prefix's
# C:\windows\Fonts, where Wine looks for them; Debian's Wine does not take
# them from where the package installs them. Without them the dialogs are
# drawn in a wider fallback font ("MS Sans Serif" 8 is not found, so labels
# are cut) and the caption buttons show Marlett's letters instead of its
# symbols. Copies only what is missing or older.
wine_fonts() {
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ] || return 0
  cp -u /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$fonts/"
}
