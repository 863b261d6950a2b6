#!/usr/bin/env bash
# Builds everything and runs every test twice: a normal build, then a build
# with AddressSanitizer and UndefinedBehaviorSanitizer. Then builds and checks
# the Debian package, and the README's first command in a fresh clone.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
for preset in default sanitize; do
  echo "=== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "=== package"
bash scripts/package-check.sh
echo "=== try.sh in a fresh clone"
bash scripts/try-check.sh
