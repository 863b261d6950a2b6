#!/usr/bin/env bash
# Builds everything and runs every test twice: a normal build, then a build
# with AddressSanitizer and UndefinedBehaviorSanitizer; then the Windows
# build, its tests run under Wine, and its installer installed under Wine.
# Then builds and checks the Debian package, the RPM, the Windows zip and
# installer, and the README's first command in a fresh clone.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
for preset in default sanitize; do
  echo "=== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
# The Windows build under Wine; its end-to-end tests are the default
# build's test_e2e running zorviutil.exe. The Wine prefix lives in
# build-windows/ and is made afresh for each run; no display is used.
echo "=== windows build (tests under Wine)"
windows_start=$(date +%s)
rm -rf build-windows/wineprefix
cmake --preset windows >/dev/null
cmake --build --preset windows
windows_status=0
ctest --preset windows || windows_status=$?
# The zip's help text and the installer under Wine (package-check makes
# and checks the zip and the installer's tables without Wine).
bash scripts/windows-check.sh || windows_status=$?
WINEPREFIX="$PWD/build-windows/wineprefix" wineserver -k 2>/dev/null || true
echo "=== windows stage took $(( $(date +%s) - windows_start )) s"
[ "$windows_status" -eq 0 ]
echo "=== package"
bash scripts/package-check.sh
echo "=== try.sh in a fresh clone"
bash scripts/try-check.sh
