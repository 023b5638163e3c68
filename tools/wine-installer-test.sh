#!/bin/bash
# Installs the Windows installer silently into a fresh wine prefix, runs the
# installed converter against the Linux build's, checks the uninstall entry,
# the "Open with" entries and the Start menu shortcut, uninstalls silently and
# checks that nothing but the user's settings is left. Also holds the zip to
# its size limit.
# usage: tools/wine-installer-test.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
set -euo pipefail
windows=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
sample=$(cd "$(dirname "$0")/.." && pwd)/tests/data/sample.pe
version=$(sed -n 's/^#define MORVANE_VERSION "\(.*\)"$/\1/p' "$windows/generated/Version.h")
setup=$windows/morvane-$version-win64-setup.exe
zip=$windows/morvane-$version-win64.zip
fail() { echo "installer test: $*" >&2; exit 1; }
[ -f "$setup" ] || fail "$setup is missing; build the package-installer target first"
[ -x "$linux/cli/morvane-convert" ] || fail "$linux/cli/morvane-convert is missing"

zip_bytes=$(stat -c %s "$zip")
[ "$zip_bytes" -le $((12 * 1024 * 1024)) ] || fail "$zip is $zip_bytes bytes, more than 12 MiB"

export WINEPREFIX=$windows/wineprefix-installer WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
wineboot -i >/dev/null 2>&1 || true

winpath() { wine cmd /c "echo $1" 2>/dev/null | tr -d '\r'; }
program_files=$(winepath -u "$(winpath '%ProgramW6432%')" 2>/dev/null)
appdata=$(winepath -u "$(winpath '%APPDATA%')" 2>/dev/null)
start_menu=$(winepath -u "$(winpath '%ProgramData%')" 2>/dev/null)/Microsoft/Windows/Start\ Menu/Programs
install_dir=${program_files%/}/Morvane
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvane'

# The user's settings, as the window would have left them, must outlive an
# uninstall that was not asked to remove them.
mkdir -p "$appdata/morvane"
printf '[General]\r\n' >"$appdata/morvane/morvane.ini"

wine "$setup" /S || fail "the silent install failed"
for f in morvane.exe morvane-convert.exe Qt6Widgets.dll libstdc++-6.dll README.txt \
         licenses/GCC-RUNTIME-LIBRARY-EXCEPTION-3.1.txt platforms/qwindows.dll Uninstall.exe; do
  [ -f "$install_dir/$f" ] || fail "$f was not installed into $install_dir"
done

cp "$sample" "$work/sample.pe"
"$linux/cli/morvane-convert" -q -r --to ';' -o "$work/linux.csv" "$work/sample.pe"
wine "$install_dir/morvane-convert.exe" -q -r --to ';' -o "Z:$work/windows.csv" "Z:$work/sample.pe" \
  || fail "the installed converter failed"
cmp -s "$work/linux.csv" "$work/windows.csv" || fail "the installed converter's output differs from Linux's"

# A value's data; "(Default)" names the key's unnamed value.
value() {
  local select=(/v "$2")
  [ "$2" = "(Default)" ] && select=(/ve)
  wine reg query "$1" "${select[@]}" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | sed "s/^(value not set)$//"
}
expect() { [ "$(value "$1" "$2")" = "$3" ] || fail "$1 $2 is '$(value "$1" "$2")', not '$3'"; }
install_win=$(winepath -w "$install_dir" 2>/dev/null | tr -d '\r')
expect "$uninstall_key" DisplayVersion "$version"
expect "$uninstall_key" Publisher "Morvane Software"
expect "$uninstall_key" DisplayIcon "$install_win\\morvane.exe"
expect 'HKLM\Software\Classes\.pe\OpenWithProgids' Morvane.PEFile ""
expect 'HKLM\Software\Classes\Morvane.PEFile\shell\open\command' '(Default)' "\"$install_win\\morvane.exe\" \"%1\""
wine reg query 'HKLM\Software\Classes\.pe\OpenWithProgids' /v Morvane.PEFile >/dev/null 2>&1 \
  || fail ".pe has no OpenWithProgids entry for Morvane"
[ -z "$(value 'HKLM\Software\Classes\.pe' '(Default)')" ] || fail "the installer took over .pe's default program"
[ -f "$start_menu/Morvane/Morvane.lnk" ] || fail "no Start menu shortcut in $start_menu/Morvane"

wine "$install_dir/Uninstall.exe" /S || fail "the silent uninstall failed"
# The uninstaller runs on from a copy of itself in the temporary folder.
for _ in $(seq 120); do
  [ -e "$install_dir" ] || break
  sleep 1
done
[ ! -e "$install_dir" ] || fail "$install_dir is still there after the uninstall"
[ ! -e "$start_menu/Morvane" ] || fail "the Start menu entry is still there after the uninstall"
for key in "$uninstall_key" 'HKLM\Software\Classes\Morvane.PEFile' 'HKLM\Software\Classes\Applications\morvane.exe' \
           'HKLM\Software\Morvane Software'; do
  if wine reg query "$key" >/dev/null 2>&1; then fail "$key is still in the registry"; fi
done
if wine reg query 'HKLM\Software\Classes\.pe\OpenWithProgids' /v Morvane.PEFile >/dev/null 2>&1; then
  fail ".pe still lists Morvane after the uninstall"
fi
[ -f "$appdata/morvane/morvane.ini" ] || fail "the uninstall removed the user's settings unasked"
left=$(cd "$WINEPREFIX/drive_c" && find . -iname '*morvane*' ! -path "*/morvane/morvane.ini" | grep -v "/AppData/Roaming/morvane$" || true)
[ -z "$left" ] || fail "left behind: $left"
echo "installer test: installed, converted, registered and uninstalled silently; the settings stayed"
