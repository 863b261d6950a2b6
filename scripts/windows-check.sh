#!/usr/bin/env bash
# The Windows packages under Wine, after the Windows build and its tests (in
# their Wine prefix, build-windows/wineprefix): the zip's README.txt holds
# what zorviutil.exe prints for -h and -h comm; the installer installs
# silently, puts the program on the system PATH with an uninstall entry, the
# installed program talks to the simulator (the default build's), and the
# removal takes the files, the PATH entry and the uninstall entry away.
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEPREFIX="$PWD/build-windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=""
fail() { echo "windows-check: $*" >&2; exit 1; }
# The prefix's server, started here with its output going nowhere unless
# one already serves (it would otherwise inherit standard error and dump
# its objects there when it ends).
mkdir -p "$WINEPREFIX"
wineserver -p30 </dev/null >/dev/null 2>&1 || true

readme=$(tr -d '\r' <build-windows/README.txt)
for topic in "" comm; do
  help=$(wine build-windows/bin/zorviutil.exe -h $topic </dev/null | tr -d '\r') || fail "zorviutil.exe -h $topic failed"
  [ -n "$help" ] && [[ "$readme" == *"$help"* ]] || fail "README.txt lacks what zorviutil.exe -h $topic prints"
done

cmake --build --preset windows --target msi
msi=$(cd build-windows && ls zorviutil-*-win64.msi)
installed="$WINEPREFIX/drive_c/Program Files/zorviutil"
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
system_path() { wine reg query "$environment" /v PATH </dev/null | tr -d '\r'; }
entries() { wine reg query "$uninstall" /s </dev/null | tr -d '\r' | grep -c 'DisplayName.*zorviutil' || true; }

# Wine's removal leaves PATH's separator behind (";" at its end), and its cmd
# stops searching at an empty entry: the check needs a prefix where the
# installer has not run before, as test.sh makes afresh.
case $(system_path) in
  *zorviutil* | *\; | *\;\;*) fail "the installer ran in $WINEPREFIX before: remove that folder and run again" ;;
esac
(cd build-windows && wine msiexec /i "$msi" /qn </dev/null) || fail "msiexec /i $msi failed ($?)"
for f in zorviutil.exe zorviapi.dll README.txt LICENSE.txt; do
  [ -f "$installed/$f" ] || fail "$msi installed no $f"
done
grep -qF 'C:\Program Files\zorviutil' <<<"$(system_path)" || fail "$msi: not on the system PATH: $(system_path)"
[ "$(entries)" = 1 ] || fail "$msi: no uninstall entry"
# The bare name, through the system PATH, against a simulated board on a
# pseudo-terminal (on Wine's Z: drive).
out=$(build/bin/zorvisim --run bash -c 'port={port}; wine cmd /c zorviutil.exe -usbcom "Z:${port//\//\\}" version </dev/null' \
      2>/dev/null | tr -d '\r')
[ "$out" = 'ZORVI Keeper2 version is 4.26.0.7' ] || fail "installed zorviutil.exe on the PATH: '$out'"

(cd build-windows && wine msiexec /x "$msi" /qn </dev/null) || fail "msiexec /x $msi failed ($?)"
[ ! -e "$installed/zorviutil.exe" ] || fail "$msi: zorviutil.exe left after removal"
! grep -qF 'zorviutil' <<<"$(system_path)" || fail "$msi: PATH entry left after removal: $(system_path)"
[ "$(entries)" = 0 ] || fail "$msi: uninstall entry left after removal"
echo "windows-check: README.txt and $msi OK"
