#!/usr/bin/env bash
# Installs what is missing on Debian 12, through apt-get (with sudo when not
# root). "build" installs only what building the program, its library and
# the simulator needs (scripts/try.sh); no argument installs everything the
# tests and the package check need too.
set -euo pipefail
packages=(cmake ninja-build g++)
if [ "${1:-all}" != build ]; then
  # tests and benchmarks; the package check (cpack's dependency scan, man -l,
  # pkg-config)
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev dpkg-dev file man-db pkgconf git srecord binutils)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
