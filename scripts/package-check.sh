#!/usr/bin/env bash
# Builds the Debian package and the RPM (the "package" preset: program,
# library and simulator only, then cpack) and checks both the same way: every
# file in the package's listing, the programs run from the unpacked tree and
# find their libraries without LD_LIBRARY_PATH, a program links with the
# library through its pkg-config file, the man pages render without
# warnings, the copyright file is LICENSE's, and the post-install script
# (dpkg's postinst, rpm's %post) is valid sh that reloads and triggers udev
# and never fails where udevadm is missing or udev is not running. As root
# it also installs the .deb with dpkg, runs the installed program and
# purges it again. When the Windows build is there (build-windows/), its
# zip and its installer are made and their contents checked.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset package >/dev/null
cmake --build --preset package
rm -f build-package/zorviutil_*.deb build-package/zorviutil-*.rpm
(cd build-package && cpack -G 'DEB;RPM' >cpack.log 2>&1) || { cat build-package/cpack.log >&2; exit 1; }
deb=$(ls build-package/zorviutil_*.deb)
rpm=$(ls build-package/zorviutil-*.rpm)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package-check: $*" >&2; exit 1; }

multiarch=$(gcc -print-multiarch)
lib=usr/lib/$multiarch
required=(usr/bin/zorviutil usr/bin/zorvisim "$lib/libzorviapi.so" "$lib/libzorviapi.so.1" "$lib/libzorviapi.so.1.0.1"
          usr/include/zorvi.h "$lib/pkgconfig/zorviapi.pc" "$lib/zorvisim/libtobra.so" "$lib/zorvisim/libquenta.so"
          usr/share/man/man1/zorviutil.1 usr/share/man/man1/zorvisim.1
          usr/share/bash-completion/completions/zorviutil usr/lib/udev/rules.d/60-zorviutil.rules
          usr/share/zorviutil/schema/error.schema.json usr/share/zorviutil/schema/display-sensors.schema.json
          usr/lib/systemd/system/zorvi-metrics@.service usr/lib/systemd/system/zorvi-metrics@.timer
          usr/lib/systemd/system/zorvi-metrics-all.service usr/lib/systemd/system/zorvi-metrics-all.timer
          usr/lib/sysusers.d/zorviutil.conf
          usr/share/doc/zorviutil/copyright)
version='ZORVI Keeper2 version is 4.26.0.7'

# The package's files, one path a line without the leading "./" or "/".
list_files() {
  case $1 in
    *.deb) dpkg-deb --fsys-tarfile "$1" | tar -t | sed 's|^\./||; s|/$||' ;;
    *.rpm) rpm -qpl "$1" | sed 's|^/||' ;;
  esac
}
unpack() {
  case $1 in
    *.deb) dpkg-deb -x "$1" "$2" ;;
    *.rpm) rpm2cpio "$1" | (cd "$2" && cpio -idm --quiet) ;;
  esac
}
# The post-install script as the package manager runs it.
post_install_script() {
  case $1 in
    *.deb) dpkg-deb -e "$1" "$work/control" && cp "$work/control/postinst" "$2" ;;
    *.rpm) rpm -qp --queryformat '%{POSTIN}\n' "$1" >"$2" ;;
  esac
}

# check_post_install PACKAGE ARGUMENT: runs the post-install script with the
# argument its package manager gives, with stubs on PATH that log each call:
# ldconfig always, udevadm missing, failing (no udev daemon), answering, or
# answering the reload and failing the trigger.
check_post_install() {
  local name=$1 argument=$2 script=$work/post-install stubs=$work/stubs
  post_install_script "$name" "$script"
  grep -q udevadm "$script" || fail "$name: the post-install script does not reload udev"
  sh -n "$script" || fail "$name: the post-install script is not valid sh"
  local ldconfig='' reload='udevadm control --reload-rules' trigger='udevadm trigger --subsystem-match=tty --action=change'
  [ "$argument" = configure ] && ldconfig='ldconfig'
  local rows=("missing||$ldconfig"
              "failing|echo 'Failed to send reload request' >&2; exit 1|$ldconfig
$reload"
              "answering|exit 0|$ldconfig
$reload
$trigger"
              "refusing-trigger|[ \"\$1\" != trigger ]|$ldconfig
$reload
$trigger")
  local row udevadm body expected output
  for row in "${rows[@]}"; do
    udevadm=${row%%|*} body=${row#*|} expected=${body#*|} body=${body%%|*}
    rm -rf "$stubs" "$work/calls" && mkdir "$stubs" && : >"$work/calls"
    printf '#!/bin/sh\necho ldconfig "$@" >>%s\n' "$work/calls" >"$stubs/ldconfig"
    [ "$udevadm" = missing ] || printf '#!/bin/sh\necho udevadm "$@" >>%s\n%s\n' "$work/calls" "$body" >"$stubs/udevadm"
    chmod +x "$stubs"/*
    output=$(PATH=$stubs /bin/sh "$script" "$argument" 2>&1) || fail "$name, udevadm $udevadm: post-install failed ($?): $output"
    [ -z "$output" ] || fail "$name, udevadm $udevadm: post-install printed: $output"
    [ "$(sed '/^$/d' "$work/calls")" = "$(printf '%s' "$expected" | sed '/^$/d')" ] ||
      fail "$name, udevadm $udevadm: post-install called: $(cat "$work/calls")"
  done
}

# check_package PACKAGE POST_INSTALL_ARGUMENT: the checks both packages share.
check_package() {
  local name=$1 root=$work/root listing f out page warnings flags
  listing=$(list_files "$name")
  for f in "${required[@]}"; do
    grep -qxF "$f" <<<"$listing" || fail "$name: missing /$f"
  done
  # The stand-ins must never sit where a real driver library would be found.
  ! grep -E "^$lib/lib(tobra|quenta)\.so" <<<"$listing" || fail "$name: PCIe stand-ins in the library path"

  rm -rf "$root" && mkdir "$root"
  unpack "$name" "$root"
  grep -q 'SONAME *libzorviapi.so.1$' <<<"$(objdump -p "$root/$lib/libzorviapi.so.1.0.1")" || fail "$name: no SONAME"
  # The unpacked programs: the tool finds its library, --run points it at
  # the stand-ins, and the port line goes to standard error.
  out=$(env -u LD_LIBRARY_PATH "$root/usr/bin/zorvisim" --run "$root/usr/bin/zorviutil" -usbcom '{port}' version 2>/dev/null)
  [ "$out" = "$version" ] || fail "$name: unpacked zorviutil -usbcom: '$out'"
  out=$(env -u LD_LIBRARY_PATH "$root/usr/bin/zorvisim" --run "$root/usr/bin/zorviutil" -index 0 version 2>/dev/null)
  [ "$out" = "$version" ] || fail "$name: unpacked zorviutil -index: '$out'"

  for page in zorviutil zorvisim; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$name: man $page: $warnings"
  done

  printf '#include <zorvi.h>\nint main(void) { return ZORVI_GetStatusStringA(0, 0) == 0; }\n' >"$work/probe.c"
  flags=$(PKG_CONFIG_SYSROOT_DIR="$root" PKG_CONFIG_LIBDIR="$root/$lib/pkgconfig" pkg-config --cflags --libs zorviapi)
  gcc "$work/probe.c" -o "$work/probe" $flags || fail "$name: cannot link with the pkg-config flags: $flags"

  # The copyright file, in the machine-readable format, is LICENSE's.
  local copyright=$root/usr/share/doc/zorviutil/copyright
  head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "$name: the copyright file is not in the machine-readable format"
  grep -qxF "Copyright: $(sed -n 's/^Copyright (c) //p' LICENSE)" "$copyright" || fail "$name: copyright line differs from LICENSE's"
  # (The license text's lines are indented by one space, a blank line is " .".)
  ! sed '1,/^License: Expat$/d' "$copyright" | grep -nvE '^ .+' || fail "$name: the copyright file's license text is not a field body"
  [ "$(sed '1,/^License: Expat$/d; s/^ //; s/^\.$//' "$copyright")" = "$(sed '1,/^Copyright (c)/d' LICENSE | sed '/./,$!d')" ] ||
    fail "$name: the copyright file's license text differs from LICENSE"

  check_post_install "$name" "$2"
}

check_package "$deb" configure
grep -q libc6 <<<"$(dpkg-deb -f "$deb" Depends)" || fail "no dependencies in the control file"
check_package "$rpm" 1
grep -q '^libc\.so\.6' <<<"$(rpm -qp --requires "$rpm")" || fail "$rpm: no dependencies"
[ "$(rpm -qp --queryformat '%{LICENSE}' "$rpm")" = MIT ] || fail "$rpm: no MIT license field"
# Folders of the system's own packages are not the RPM's to own.
rpm_listing=$(list_files "$rpm")
for f in usr/lib/udev usr/lib/udev/rules.d usr/lib/systemd usr/lib/systemd/system usr/lib/sysusers.d usr/share/man usr/share/man/man1 \
         usr/share/bash-completion usr/share/bash-completion/completions usr/share/doc usr/lib usr/bin; do
  ! grep -qxF "$f" <<<"$rpm_listing" || fail "$rpm: owns /$f"
done

# (A package removed but not purged is still listed, as "rc": only one that
# is installed is left alone.)
if [ "$(id -u)" -eq 0 ] && [ "$(dpkg-query -W -f='${Status}' zorviutil 2>/dev/null)" != 'install ok installed' ]; then
  # The folder's entry for the metrics user comes from this installation, not
  # from an earlier one.
  if command -v setfacl >/dev/null && getent passwd zorvi-metrics >/dev/null; then
    setfacl -P -x u:zorvi-metrics /var/lib/prometheus/node-exporter 2>/dev/null || true
  fi
  dpkg -i "$deb" >/dev/null
  trap 'dpkg -P zorviutil >/dev/null; rm -rf "$work"' EXIT
  out=$(env -u LD_LIBRARY_PATH zorvisim --run zorviutil -usbcom '{port}' version 2>/dev/null)
  [ "$out" = "$version" ] || fail "installed zorviutil: '$out'"
  man -w zorviutil >/dev/null || fail "man zorviutil finds no page"
  # The metrics units' user: in dialout, and able to write its file into
  # node_exporter's folder, which stays root's.
  if command -v systemd-sysusers >/dev/null && command -v setfacl >/dev/null && command -v runuser >/dev/null; then
    id -nG zorvi-metrics | grep -qw dialout || fail "user zorvi-metrics: not in dialout: $(id zorvi-metrics 2>&1)"
    folder=/var/lib/prometheus/node-exporter
    acl=$(getfacl -cp "$folder" 2>&1)
    [ "$(stat -c %U "$folder")" = root ] && grep -qx 'group::r-x' <<<"$acl" && grep -qx 'other::r-x' <<<"$acl" &&
      grep -qx 'user:zorvi-metrics:rwx' <<<"$acl" || fail "$folder: $(stat -c %U "$folder") $acl"
    home=$(mktemp -d) && chown zorvi-metrics "$home"
    runuser -u zorvi-metrics -- env -u LD_LIBRARY_PATH HOME="$home" zorvisim --state-dir "$home/sim" --run zorviutil \
      -usbcom '{port}' write-metrics "$folder/zorvi-package-check.prom" >/dev/null 2>&1 ||
      fail "user zorvi-metrics cannot write into $folder"
    [ "$(stat -c %U "$folder/zorvi-package-check.prom")" = zorvi-metrics ] || fail "the metrics file is not zorvi-metrics'"
    rm -rf "$folder/zorvi-package-check.prom" "$home"
  fi
fi
echo "package-check: $(basename "$deb") $(basename "$rpm") OK"

# The Windows zip: exactly the program, its library, the text help and the
# license in one folder (no stand-ins, no import library), as Windows text.
if [ -f build-windows/CPackConfig.cmake ]; then
  rm -f build-windows/zorviutil-*-win64.zip
  (cd build-windows && cpack -G ZIP >cpack.log 2>&1) || { cat build-windows/cpack.log >&2; exit 1; }
  zip=$(ls build-windows/zorviutil-*-win64.zip)
  top=$(basename "$zip" .zip)
  listing=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
  [ "$listing" = "$(printf "$top/%s\n" LICENSE.txt README.txt zorviapi.dll zorviutil.exe)" ] ||
    fail "$zip holds: $listing"
  unzip -q "$zip" -d "$work/zip"
  dir=$work/zip/$top
  # The two programs stripped, as the Linux packages' are.
  file "$dir/zorviutil.exe" | grep -q 'PE32+ executable (console) x86-64 (stripped' ||
    fail "$zip: zorviutil.exe: $(file "$dir/zorviutil.exe")"
  file "$dir/zorviapi.dll" | grep -q 'PE32+ executable (DLL) (console) x86-64 (stripped' ||
    fail "$zip: zorviapi.dll: $(file "$dir/zorviapi.dll")"
  grep -q '^Usage: zorviutil.exe ' "$dir/README.txt" || fail "$zip: README.txt without the usage"
  for f in README.txt LICENSE.txt; do
    ! grep -nv $'\r$' "$dir/$f" || fail "$zip: $f has lines without CR LF"
  done
  [ "$(tr -d '\r' <"$dir/LICENSE.txt")" = "$(cat LICENSE)" ] || fail "$zip: LICENSE.txt differs from LICENSE"
  echo "package-check: $(basename "$zip") OK"

  # The installer (built where wixl is): the zip's files, the PATH entry
  # and the actions that write and remove it, the upgrade of the same
  # version (windows-check.sh installs it under Wine).
  if command -v wixl >/dev/null && command -v msiinfo >/dev/null; then
    cmake --build build-windows --target msi >/dev/null
    msi=$(ls build-windows/zorviutil-*-win64.msi)
    table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
    files=$(table File | cut -f3 | sed 's/.*|//' | sort)
    [ "$files" = "$(printf '%s\n' LICENSE.txt README.txt zorviapi.dll zorviutil.exe)" ] || fail "$msi holds: $files"
    [ "$(table Environment)" = $'PathEntry\t=-*PATH\t[~];[INSTALLDIR]\tProgram' ] ||
      fail "$msi: PATH entry: $(table Environment)"
    grep -q $'\t513\t\tWIX_UPGRADE_DETECTED$' <<<"$(table Upgrade)" || fail "$msi: a rebuild of the same version is not replaced"
    for action in WriteEnvironmentStrings RemoveEnvironmentStrings; do
      grep -q "^$action"$'\t' <<<"$(table InstallExecuteSequence)" || fail "$msi: no $action"
    done
    echo "package-check: $(basename "$msi") OK"
  fi
fi
