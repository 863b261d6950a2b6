#!/usr/bin/env bash
# Installs what is missing on Debian 12, through apt-get (with sudo when not
# root). "build" installs only what building the program, its library and
# the simulator needs (scripts/try.sh); no argument installs everything the
# tests and the package check need too.
set -euo pipefail
packages=(cmake ninja-build g++ nlohmann-json3-dev libudev-dev)
if [ "${1:-all}" != build ]; then
  # tests and benchmarks; the package check (cpack's dependency scan, man -l,
  # pkg-config, rpmbuild and rpm2cpio for the RPM, cpio, unzip for the
  # Windows zip); the schema checks; the list-boards test (umockdev); the
  # Ansible collection's tests (ansible-core, and python3-venv for ansible-test)
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev dpkg-dev file man-db pkgconf rpm cpio unzip git srecord binutils
             python3-jsonschema umockdev libumockdev-dev ansible-core python3-venv)
  # ansible-test sanity offline: Debian's packages instead of the ones it
  # would fetch (pep8, pylint, validate-modules, runtime-metadata, yamllint,
  # ansible-doc)
  packages+=(python3-pycodestyle pylint python3-tomli python3-voluptuous yamllint python3-packaging)
  # the metrics checks: promtool, node_exporter's textfile collector, curl,
  # systemd-analyze for the units, setfacl for their user's folder access
  packages+=(prometheus prometheus-node-exporter curl systemd acl)
fi
# The Windows build: the MinGW-w64 cross compiler, Wine to run its programs
# (without the recommended desktop packages), wixl and msitools for its
# installer.
windows=()
[ "${1:-all}" != build ] && windows=(g++-mingw-w64-x86-64-win32 wine wine64 wixl msitools)
missing=()
missing_windows=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
for p in "${windows[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing_windows+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ ${#missing_windows[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]} ${missing_windows[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
  fi
  if [ ${#missing_windows[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing_windows[@]}"
  fi
fi
