#!/bin/bash
# Shared set-up of ./run.sh and ./test.sh: installs what is missing from
# Debian's packages and makes the locales the tests use.
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config
  googletest libgtest-dev libbenchmark-dev
  qt6-base-dev
  fonts-liberation fonts-wine fontconfig
  locales
  libxlsxwriter-dev libz-mingw-w64-dev python3-openpyxl
  clang libclang-rt-14-dev
  dpkg-dev file lintian desktop-file-utils appstream shared-mime-info man-db bash-completion
  g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth xdotool imagemagick
  nsis
)

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; elif command -v sudo >/dev/null; then sudo "$@"; else
    echo "setup: need root for: $*" >&2; return 1; fi
}

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get install -y -q --no-install-recommends "${missing[@]}" \
    || { as_root apt-get update -q && as_root apt-get install -y -q --no-install-recommends "${missing[@]}"; }
fi

# Locales whose clock and decimal separators and designators differ, so the
# time parser is tested against real regional data.
want_locale() { # name input charset
  if ! locale -a 2>/dev/null | grep -qix "$1"; then
    echo "setup: making locale $1"
    as_root localedef -i "$2" -f "$3" "$1" || echo "setup: could not make $1" >&2
  fi
}
want_locale en_US.utf8 en_US UTF-8
want_locale de_DE.utf8 de_DE UTF-8
want_locale fi_FI.utf8 fi_FI UTF-8
want_locale de_DE.iso88591 de_DE ISO-8859-1
