#!/usr/bin/env bash
# Builds zorviutil and the simulated board, then runs a verb against a
# freshly started simulated board (default: display-vpd on a CARD-A29).
# Any arguments replace the verb: scripts/try.sh version
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
verb=("$@")
[ ${#verb[@]} -gt 0 ] || verb=(display-vpd)
exec build/bin/zorvisim --model 1437 --run build/bin/zorviutil -usbcom '{port}' "${verb[@]}"
