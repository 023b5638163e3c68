#!/bin/bash
# Installs the Windows installer silently into a fresh wine prefix, runs the
# installed converter against the Linux build's, checks the uninstall entry
# (its size too), the "Open with" entries, the Start menu shortcut and the
# licence beside the programs, uninstalls silently and checks that nothing
# but the user's settings is left; installs again with /ADDTOPATH, which puts
# the folder on the user's PATH until the uninstall. Also checks the setup's
# version record, that the uninstaller's question defaults to keeping the
# settings, and holds the zip to its size limit.
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

# The setup's version record: the fixed part (file and product 1.0.1.0 for
# 1.01) and the product version as users read it.
python3 - "$setup" "$version" <<'PYTHON' || fail "the setup's version record is wrong"
import re, struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
assert at >= 0, "no VS_FIXEDFILEINFO"
file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
major, minor = sys.argv[2].split(".")
expected = (int(major) << 16 | int(minor[0]), int(minor[1]) << 16)
assert (file_ms, file_ls) == expected, f"file version {file_ms:#x} {file_ls:#x}"
assert (product_ms, product_ls) == expected, f"product version {product_ms:#x} {product_ls:#x}"
text = data.decode("utf-16-le", "replace")
assert re.search("ProductVersion\0+" + re.escape(sys.argv[2]) + "\0", text), "no ProductVersion " + sys.argv[2]
PYTHON
# The uninstaller asks whether the settings go too with No as its default,
# so that Enter keeps them.
nsi=$(find "$windows/installer" -name project.nsi | head -n 1)
grep -q 'MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Remove your Morvane settings too' "$nsi" \
  || fail "the uninstaller's question about the settings does not default to No"

# Qt's libraries are most of it; the look window and the licence texts took
# the programs past 12 MiB, and a doubling by some stray file would still show.
zip_bytes=$(stat -c %s "$zip")
[ "$zip_bytes" -le $((13 * 1024 * 1024)) ] || fail "$zip is $zip_bytes bytes, more than 13 MiB"

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
for f in morvane.exe morvane-convert.exe Qt6Widgets.dll libstdc++-6.dll README.txt LICENSE.txt \
         licenses/GCC-RUNTIME-LIBRARY-EXCEPTION-3.1.txt platforms/qwindows.dll Uninstall.exe; do
  [ -f "$install_dir/$f" ] || fail "$f was not installed into $install_dir"
done

# Morvane's own terms first, then the notices of the parts of others.
license=$(tr -d '\r' <"$install_dir/LICENSE.txt")
[ "$(printf '%s\n' "$license" | head -n 1)" = "Morvane $version" ] || fail "LICENSE.txt does not open with Morvane's name"
for notice in "All rights reserved." "Qt 6" "GCC Runtime" "libwinpthread" \
              "Jean-loup Gailly and Mark Adler" "Libxlsxwriter is released under"; do
  grep -qF "$notice" <<<"$license" || fail "LICENSE.txt lacks \"$notice\""
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
# The size Settings > Apps shows, in KiB, within a tenth of the folder's.
size=$(wine reg query "$uninstall_key" /v EstimatedSize 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_DWORD *//p')
[ -n "$size" ] || fail "the uninstall entry has no EstimatedSize"
folder_kib=$(du -sk --apparent-size "$install_dir" | cut -f1)
[ $((size * 10)) -ge $((folder_kib * 9)) ] && [ $((size * 10)) -le $((folder_kib * 11)) ] \
  || fail "EstimatedSize is $((size)) KiB, the folder $folder_kib KiB"
# Without /ADDTOPATH the user's PATH stays as it was.
user_path() { value 'HKCU\Environment' PATH; }
case ";$(user_path);" in *";$install_win;"*) fail "the silent install put the converter on PATH unasked" ;; esac

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

# /ADDTOPATH: the converter runs by its name in a new command prompt, and
# the uninstall takes the folder off PATH again.
wine "$setup" /S /ADDTOPATH || fail "the silent install with /ADDTOPATH failed"
case ";$(user_path);" in *";$install_win;"*) ;; *) fail "/ADDTOPATH left PATH as '$(user_path)'" ;; esac
wineserver -k 2>/dev/null || true
found=$(cd "$work" && wine cmd /c "morvane-convert --version" 2>/dev/null | tr -d '\r')
[ "$found" = "morvane-convert $version" ] || fail "a new command prompt does not find the converter: '$found'"
wine "$install_dir/Uninstall.exe" /S || fail "the second silent uninstall failed"
for _ in $(seq 120); do
  [ -e "$install_dir" ] || break
  sleep 1
done
case ";$(user_path);" in *";$install_win;"*) fail "the uninstall left the converter on PATH" ;; esac
echo "installer test: installed, converted, registered and uninstalled silently; the settings stayed;" \
     "PATH only when asked"
