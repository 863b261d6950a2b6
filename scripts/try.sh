#!/usr/bin/env bash
# Builds zorviutil, its link library and the simulated board without
# optimisation and as a unity build (sources compiled sixteen to a unit),
# which compiles fastest (nothing else: no tests, no benchmarks) into
# build-try/, then runs a verb against a
# freshly started simulated board (default: display-vpd on a CARD-A29) in
# the current folder, so that files a verb writes land there.
# Any arguments replace the verb: scripts/try.sh version
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$src/build-try
bash "$src/scripts/install-deps.sh" build
echo "Building zorviutil and zorvisim in $build ..." >&2
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE= -DZORVI_TESTS=OFF -DZORVI_BENCH=OFF \
         -DZORVI_DOCS=OFF \
         -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=16 && cmake --build "$build" --target zorviutil zorviapi zorvisim tobra quenta; } >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
verb=("$@")
[ ${#verb[@]} -gt 0 ] || verb=(display-vpd)
# zorvisim prints its port on standard error; standard output is zorviutil's.
exec "$build/bin/zorvisim" --model 1437 --run "$build/bin/zorviutil" -usbcom '{port}' "${verb[@]}"
