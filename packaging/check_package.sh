#!/bin/bash
# Makes the Debian package, unpacks it and runs both programs from the
# unpacked tree, then lets Debian's own checkers judge the package and its
# desktop files where they are installed.
#   check_package.sh CMAKE BUILD_DIR VERSION-RELEASE SAMPLE.pe
set -euo pipefail
cmake=$1 build=$2 version=$3 sample=$4

fail() { echo "check_package: $*" >&2; exit 1; }

"$cmake" --build "$build" --target package
deb="$build/morvane_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "$deb was not made"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
dpkg-deb -f "$deb" Package Version Section Maintainer Depends

for f in usr/bin/morvane usr/bin/morvane-convert \
  usr/share/applications/org.example.morvane.desktop \
  usr/share/mime/packages/morvane.xml \
  usr/share/metainfo/org.example.morvane.metainfo.xml \
  usr/share/man/man1/morvane.1.gz usr/share/man/man1/morvane-convert.1.gz \
  usr/share/bash-completion/completions/morvane-convert \
  usr/share/doc/morvane/copyright usr/share/doc/morvane/changelog.Debian.gz \
  usr/share/lintian/overrides/morvane \
  usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/morvane.png; do
  [ -f "$root/$f" ] || fail "the package lacks /$f"
done
for size in 16 32 48 64 128 256; do
  got=$(file -b "$root/usr/share/icons/hicolor/${size}x${size}/apps/morvane.png")
  [[ $got == "PNG image data, $size x $size,"* ]] || fail "the ${size} px icon is $got"
done

echo "== the programs from the unpacked package"
got=$("$root/usr/bin/morvane-convert" --version)
[ "$got" = "morvane-convert ${version%-*}" ] || fail "morvane-convert --version said '$got'"
got=$("$root/usr/bin/morvane" --version)
[ "$got" = "morvane ${version%-*}" ] || fail "morvane --version said '$got'"
for args in "" "$sample"; do
  err=$(QT_QPA_PLATFORM=offscreen MORVANE_QUIT_AFTER_MS=300 "$root/usr/bin/morvane" $args 2>&1 >/dev/null) \
    || fail "morvane ${args:-without a file} failed: $err"
  # The toolkit may talk about its environment; the program itself must not.
  ! grep '^morvane: ' <<<"$err" || fail "morvane ${args:-without a file} complained"
done

if command -v man >/dev/null; then
  echo "== manual pages"
  for page in morvane morvane-convert; do
    err=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
      "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$err" ] || fail "$page.1: $err"
  done
fi

if [ -f /usr/share/bash-completion/bash_completion ]; then
  echo "== bash completion"
  got=$(bash -c 'source /usr/share/bash-completion/bash_completion
    source "$1"
    COMP_WORDS=(morvane-convert --relative-t); COMP_CWORD=1
    COMP_LINE="morvane-convert --relative-t"; COMP_POINT=${#COMP_LINE}
    _morvane_convert; echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/morvane-convert")
  [ "$got" = "--relative-time --relative-time-separator" ] || fail "completing --relative-t gave '$got'"
fi

if command -v update-mime-database >/dev/null; then
  echo "== file type"
  mkdir -p "$root/mime/packages"
  cp "$root/usr/share/mime/packages/morvane.xml" "$root/mime/packages/"
  XDG_DATA_HOME="$root" update-mime-database "$root/mime"
  grep -q ':text/x-halvik-pe:\*\.pe$' "$root/mime/globs2" || fail "*.pe is not known as text/x-halvik-pe"
fi

if command -v desktop-file-validate >/dev/null; then
  echo "== desktop-file-validate"
  desktop-file-validate "$root/usr/share/applications/org.example.morvane.desktop"
else
  echo "desktop-file-validate is not installed; skipped"
fi
if command -v appstreamcli >/dev/null; then
  echo "== appstreamcli validate"
  appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/org.example.morvane.metainfo.xml"
else
  echo "appstreamcli is not installed; skipped"
fi
if command -v lintian >/dev/null; then
  echo "== lintian"
  lintian --fail-on error,warning "$deb"
else
  echo "lintian is not installed; skipped"
fi
echo "package checked: $deb"
