# Shared by the scripts: the repository root and package installation.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Installs the Debian packages that are missing, with apt-get.
need_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What every build needs: CMake, the native and both MinGW-w64 compilers,
# GoogleTest's sources, and Wine to run the Windows programs.
BUILD_PACKAGES=(cmake make g++ libgtest-dev googletest g++-mingw-w64-x86-64 g++-mingw-w64-i686
                binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64)

# What the scripts that show the dialogs need besides: a virtual display,
# its tools, ImageMagick for the screenshots, and Wine's own fonts, which
# draw the dialogs as Windows does (see wine_fonts in wine_env.sh).
DISPLAY_PACKAGES=(xvfb x11-utils imagemagick fonts-wine)

jobs=$(nproc 2>/dev/null || echo 2)
