# The private 32-bit Wine that scripts/wine, scripts/test, scripts/run and
# scripts/bench run Windows programs with. Sourced after common.sh.
#
# Debian's 64-bit Wine runs 32-bit Windows programs only with its i386 part
# (wine32 and libwine, at exactly the installed wine64 version) beside it.
# Installing that system-wide would add the i386 architecture to dpkg, so
# instead those packages and their i386 libraries are downloaded with a
# private apt state and unpacked into a cache, $wine32_cache/VERSION/tree.
# Nothing of the system changes. Its loader directory, usr/lib/wine, holds
#   wine64     a copy of the system's 64-bit loader: Wine looks for the loader
#              of the other bitness only beside its own executable
#   wine       a wrapper that starts the i386 loader, natively where the
#              kernel runs 32-bit programs, otherwise under qemu-i386 user
#              emulation (qemu-user 10 from the backports suite: Debian 12's
#              own 7.2 takes about a minute to start each Wine process)
#   wine-i386  the i386 loader
# QM_WINE32_MODE=native or qemu forces the mode; QM_WINE32_CACHE moves the
# cache (default ~/.cache/quilmarsk/wine32).

wine32_cache=${QM_WINE32_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quilmarsk/wine32}

wine32_say() { echo "32-bit Wine: $*" >&2; }
wine32_fail() { echo "32-bit Wine: $*" >&2; exit 1; }

# apt-get with a private state in $wine32_cache/apt: the system's sources
# plus the backports suite, an empty list of installed packages (so every
# dependency down to libc6:i386 is fetched), i386 as the native
# architecture. The system's dpkg and apt state stay as they are.
wine32_apt() {
  local apt=$wine32_cache/apt
  local args=(-o "Dir::State=$apt/state" -o "Dir::State::status=$apt/status" -o "Dir::Cache=$apt/cache"
              -o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
              -o "Dir::Etc::Preferences=/dev/null" -o "Dir::Etc::PreferencesParts=$apt/preferences.d"
              -o APT::Architecture=i386 -o APT::Architectures::=i386 -o APT::Architectures::=amd64
              -o APT::Install-Recommends=false -o Debug::NoLocking=true)
  [ "$(id -u)" -eq 0 ] && args+=(-o APT::Sandbox::User=root)
  "$@" "${args[@]}"
}

wine32_apt_update() {
  local apt=$wine32_cache/apt codename
  [ -n "${wine32_updated:-}" ] && return 0
  mkdir -p "$apt"/{state/lists/partial,cache/archives/partial,sources.list.d,preferences.d}
  : >"$apt/status"
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  if [ -f /etc/apt/sources.list ]; then cp /etc/apt/sources.list "$apt/sources.list"; else : >"$apt/sources.list"; fi
  rm -f "$apt"/sources.list.d/*
  cp /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list "$apt/sources.list.d/" 2>/dev/null || true
  # The backports suite, from the archive that serves the release itself.
  local uri
  uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk -v suite="$codename" 'BEGIN { RS = ""; FS = "\n" }
          { u = ""; s = 0
            for (i = 1; i <= NF; i++) {
              if ($i ~ /^URIs:/) { split($i, w, " "); u = w[2] }
              if ($i ~ /^Suites:/) { n = split($i, w, " "); for (j = 2; j <= n; j++) if (w[j] == suite) s = 1 }
            }
            if (s && u != "") { print u; exit } }')
  [ -n "$uri" ] || uri=$(awk -v suite="$codename" '$1 == "deb" && $3 == suite { print $2; exit }' "$apt/sources.list")
  [ -n "$uri" ] || wine32_fail "no Debian archive for $codename in /etc/apt/sources.list*"
  printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$uri" "$codename" >"$apt/sources.list.d/quilmarsk-backports.sources"
  wine32_say "reading the package lists of $uri ($codename, $codename-backports; i386 and amd64)"
  wine32_apt apt-get -q update >/dev/null || wine32_fail "apt-get update failed"
  wine32_updated=1
}

# Downloads the .deb files of the named packages into the private apt cache
# and prints their paths. Says how much, and shows apt's progress.
wine32_download() {  # what, package...
  local what=$1; shift
  local uris
  uris=$(wine32_apt apt-get install --download-only -y --print-uris "$@" 2>&1) ||
    { echo "$uris" >&2; wine32_fail "cannot resolve $*"; }
  local count size
  count=$(grep -c "^'" <<<"$uris" || true)
  size=$(awk "/^'/ { s += \$3 } END { printf \"%.0f\", s / 1e6 }" <<<"$uris")
  if [ "$count" -gt 0 ]; then
    wine32_say "downloading $what: $count packages, $size MB, into $wine32_cache/apt"
    wine32_apt apt-get install --download-only -y "$@" 2>&1 |
      awk -v total="$count" '/^Get:/ { sub(/^Get:/, "  ["); sub(/ http[^ ]* [^ ]* [^ ]* /, "/" total "] "); print; fflush() }
           /^(E|W):|^Fetched/ { print; fflush() }' >&2
    [ "${PIPESTATUS[0]}" -eq 0 ] || wine32_fail "the download of $what failed"
  fi
  # The files apt keeps, whether fetched now or before.
  wine32_apt apt-get install -s -y "$@" 2>/dev/null |
    awk -v dir="$wine32_cache/apt/cache/archives" '$1 == "Inst" {
      version = substr($3, 2); gsub(/:/, "%3a", version)
      for (i = 4; i <= NF; i++) if ($i ~ /^\[.*\]\)$/) arch = substr($i, 2, length($i) - 3)
      name = $2; sub(/:.*/, "", name); print dir "/" name "_" version "_" arch ".deb" }'
}

# Unpacks the i386 Wine into $1 and does what the packages' own install
# steps would have done there.
wine32_unpack() {  # tree, version
  local tree=$1 version=$2 debs deb n=0 total
  mapfile -t debs < <(wine32_download "Debian's i386 wine32 and libwine $version with their i386 libraries" \
                        "wine32=$version" "libwine=$version")
  total=${#debs[@]}
  [ "$total" -gt 0 ] || wine32_fail "no packages to unpack"
  rm -rf "$tree.part"
  mkdir -p "$tree.part"
  wine32_say "unpacking $total packages into $tree (about 730 MB)"
  for deb in "${debs[@]}"; do
    [ -f "$deb" ] || wine32_fail "missing download: $deb"
    dpkg-deb -x "$deb" "$tree.part" || wine32_fail "cannot unpack $deb"
    n=$((n + 1))
    if [ $((n % 20)) -eq 0 ] || [ "$n" -eq "$total" ]; then echo "  unpacked $n of $total" >&2; fi
  done
  local t=$tree.part lib=$tree.part/usr/lib
  # libwine's post-install step: Wine's builtin copies of zlib1.dll.
  local mingw arch in
  for mingw in i686:i386 x86_64:x86_64; do
    in=$(echo "$t/usr/${mingw%%:*}-w64-mingw32/lib/"zlib*.dll)
    [ -f "$in" ] || wine32_fail "zlib1.dll missing from libz-mingw-w64"
    { head -c 64 "$in"; printf 'Wine builtin DLL'; printf '\0%.0s' $(seq 16); tail -c +97 "$in"; } \
      >"$lib/i386-linux-gnu/wine/${mingw##*:}-windows/$(basename "$in")"
  done
  # The tree's own ld.so cache (for the loader under qemu-i386 -L).
  printf 'include /etc/ld.so.conf.d/*.conf\n' >"$t/etc/ld.so.conf"
  ldconfig -r "$t" 2>/dev/null || wine32_fail "ldconfig -r $t failed"
  # The loader directory. The 64-bit loader finds its libraries relative to
  # itself: point that path at the system's.
  mkdir -p "$lib/x86_64-linux-gnu"
  ln -s /usr/lib/x86_64-linux-gnu/wine "$lib/x86_64-linux-gnu/wine"
  mv "$lib/wine/wine" "$lib/wine/wine-i386"
  cp /usr/lib/wine/wine64 "$lib/wine/wine64"
  # For native runs under the system's 32-bit ld.so: the i386 libraries
  # without the C library, which must be the one of that ld.so.
  local f
  declare -A libc_file=()
  while read -r f; do [ -z "$f" ] || libc_file[$f]=1; done < <(
    dpkg-deb -c "$(printf '%s\n' "${debs[@]}" | grep '/libc6_[^/]*_i386\.deb$')" |
    awk '{ n = split($6, p, "/"); print p[n] }')
  mkdir -p "$t/native-lib"
  for f in "$t"/lib/i386-linux-gnu/* "$lib"/i386-linux-gnu/*; do
    [ -d "$f" ] || [ -n "${libc_file[${f##*/}]:-}" ] || ln -sf "$tree${f#"$t"}" "$t/native-lib/"
  done
  rm -rf "$tree"
  mv "$tree.part" "$tree"
  echo "$version" >"$tree/.complete"
}

# qemu-i386 from the backports suite's qemu-user (a static binary; nothing
# else of the package is needed).
wine32_qemu() {
  local dir=$wine32_cache/qemu
  if [ ! -x "$dir/qemu-i386" ]; then
    local deb pkg size archives=$wine32_cache/apt/cache/archives
    pkg="qemu-user:amd64/$(. /etc/os-release && echo "$VERSION_CODENAME")-backports"
    size=$(wine32_apt apt-get download --print-uris "$pkg" 2>/dev/null | awk "/^'/ { printf \"%.0f\", \$3 / 1e6; exit }")
    wine32_say "downloading $pkg for its qemu-i386: ${size:-?} MB, into $archives"
    mkdir -p "$archives"
    (cd "$archives" && wine32_apt apt-get download -q "$pkg") >&2 || wine32_fail "the download of $pkg failed"
    deb=$(ls -t "$archives"/qemu-user_*_amd64.deb 2>/dev/null | head -1)
    [ -f "$deb" ] || wine32_fail "qemu-user was not downloaded"
    rm -rf "$dir.part"
    mkdir -p "$dir.part"
    dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$dir.part" ./usr/bin/qemu-i386 ||
      wine32_fail "cannot unpack qemu-i386 from $deb"
    mv "$dir.part/usr/bin/qemu-i386" "$dir.part/qemu-i386"
    rm -rf "$dir.part/usr" "$dir"
    mv "$dir.part" "$dir"
  fi
  echo "$dir/qemu-i386"
}

# Makes the private Wine ready: downloads and unpacks on the first run, then
# detects the mode and writes the wrapper. Sets wine32_bin (the loader
# directory), wine32_loader (the command to run Windows programs with) and
# wine32_mode. With --verbose, says which mode and checks that the 32-bit
# loader starts.
wine32_setup() {
  local verbose=0
  [ "${1:-}" = --verbose ] && verbose=1
  local version tree
  version=$(dpkg-query -W -f '${Version}' wine64 2>/dev/null) ||
    wine32_fail "wine64 is not installed"
  tree=$wine32_cache/$version/tree
  if [ ! -f "$tree/.complete" ]; then
    need_packages wine wine64 apt dpkg
    wine32_apt_update
    wine32_unpack "$tree" "$version"
    verbose=1
  fi
  wine32_bin=$tree/usr/lib/wine
  wine32_loader=$wine32_bin/wine64

  local reason
  case ${QM_WINE32_MODE:-} in
    native|qemu) wine32_mode=$QM_WINE32_MODE; reason="forced by QM_WINE32_MODE" ;;
    '')
      if "$tree/lib/ld-linux.so.2" --version >/dev/null 2>&1; then
        wine32_mode=native; reason="this kernel runs 32-bit programs"
      else
        wine32_mode=qemu; reason="this kernel does not run 32-bit programs"
      fi ;;
    *) wine32_fail "QM_WINE32_MODE must be native or qemu, not '$QM_WINE32_MODE'" ;;
  esac

  local wrapper q
  q() { printf '%q' "$1"; }
  if [ "$wine32_mode" = native ]; then
    if [ ! -e /lib/ld-linux.so.2 ]; then
      need_packages libc6-i386
    fi
    wrapper="#!/bin/bash
# Starts Wine's i386 loader natively (written by scripts/lib/wine32.sh).
export LD_LIBRARY_PATH=$(q "$tree/native-lib")\${LD_LIBRARY_PATH:+:\$LD_LIBRARY_PATH}
exec -a $(q "$wine32_bin/wine") $(q "$wine32_bin/wine-i386") \"\$@\""
  else
    local qemu
    if [ ! -x "$wine32_cache/qemu/qemu-i386" ]; then
      wine32_apt_update
      verbose=1
    fi
    qemu=$(wine32_qemu)
    wrapper="#!/bin/bash
# Starts Wine's i386 loader under qemu-i386 (written by scripts/lib/wine32.sh).
exec $(q "$qemu") -L $(q "$tree") -0 $(q "$wine32_bin/wine") $(q "$wine32_bin/wine-i386") \"\$@\""
  fi
  if [ "$(cat "$wine32_bin/wine" 2>/dev/null)" != "$wrapper" ]; then
    printf '%s\n' "$wrapper" >"$wine32_bin/wine.$$"
    chmod +x "$wine32_bin/wine.$$"
    mv "$wine32_bin/wine.$$" "$wine32_bin/wine"
  fi

  if [ "$verbose" = 1 ]; then
    wine32_say "$wine32_mode mode ($reason), Wine $version in $wine32_cache/$version"
    local out
    out=$("$wine32_bin/wine" --version 2>&1) ||
      wine32_fail "the i386 loader does not start in $wine32_mode mode: $out"
  fi
}
