#!/usr/bin/env bash
# The README's first command in a fresh clone of what is committed: it must
# show a decoded VPD and write nothing into the clone beyond its build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! git rev-parse --git-dir >/dev/null 2>&1; then
  echo "try-check: not a git checkout; skipped"
  exit 0
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
git clone -q "$(pwd)" "$dir/clone"
start=$(date +%s)
(cd "$dir/clone" && bash scripts/try.sh >"$dir/out" 2>"$dir/err") || { cat "$dir/err" >&2; exit 1; }
seconds=$(( $(date +%s) - start ))
head -1 "$dir/out" | grep -qx 'Human-readable VPD:' || { echo "try-check: no decoded VPD:" >&2; cat "$dir/out" "$dir/err" >&2; exit 1; }
changed=$(cd "$dir/clone" && git status --porcelain --ignored | grep -v '^!! build-try/$' || true)
[ -z "$changed" ] || { echo "try-check: the clone changed: $changed" >&2; exit 1; }
# A verb that writes a file writes it where it is run.
(cd "$dir" && ZORVIUTIL_FLAGS=7 bash clone/scripts/try.sh save-vpd vpd.bin >/dev/null 2>&1)
[ -s "$dir/vpd.bin" ] || { echo "try-check: save-vpd wrote no vpd.bin in the calling folder" >&2; exit 1; }
echo "try-check: decoded VPD in $seconds s"
