#!/usr/bin/env bash
# Builds the Debian package (the "package" preset: program, library and
# simulator only, then cpack) and checks it: every file at its place, the
# programs run from the unpacked tree and find their libraries without
# LD_LIBRARY_PATH, a program links with the library through its pkg-config
# file, and the man pages render without warnings. As root it also installs
# the package with dpkg, runs the installed program and removes it again.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset package >/dev/null
cmake --build --preset package
rm -f build-package/zorviutil_*.deb
(cd build-package && cpack -G DEB >cpack.log 2>&1) || { cat build-package/cpack.log >&2; exit 1; }
deb=$(ls build-package/zorviutil_*.deb)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "package-check: $*" >&2; exit 1; }

dpkg-deb -x "$deb" "$root"
multiarch=$(gcc -print-multiarch)
lib=usr/lib/$multiarch
for f in usr/bin/zorviutil usr/bin/zorvisim "$lib/libzorviapi.so" "$lib/libzorviapi.so.1" "$lib/libzorviapi.so.1.0.1" \
         usr/include/zorvi.h "$lib/pkgconfig/zorviapi.pc" "$lib/zorvisim/libtobra.so" "$lib/zorvisim/libquenta.so" \
         usr/share/man/man1/zorviutil.1 usr/share/man/man1/zorvisim.1 \
         usr/share/bash-completion/completions/zorviutil usr/lib/udev/rules.d/60-zorviutil.rules \
         usr/share/zorviutil/schema/error.schema.json usr/share/zorviutil/schema/display-sensors.schema.json \
         usr/lib/systemd/system/zorvi-metrics@.service usr/lib/systemd/system/zorvi-metrics@.timer; do
  [ -e "$root/$f" ] || fail "missing /$f"
done
# The stand-ins must never sit where a real driver library would be found.
! ls "$root/$lib"/libtobra.so* "$root/$lib"/libquenta.so* 2>/dev/null || fail "PCIe stand-ins in the library path"
objdump -p "$root/$lib/libzorviapi.so.1.0.1" | grep -q 'SONAME *libzorviapi.so.1$' || fail "no SONAME"
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "no dependencies in the control file"

# The unpacked programs: the tool finds its library, --run points it at the
# stand-ins, and the port line goes to standard error.
version='ZORVI Keeper2 version is 4.26.0.7'
out=$(env -u LD_LIBRARY_PATH "$root/usr/bin/zorvisim" --run "$root/usr/bin/zorviutil" -usbcom '{port}' version 2>/dev/null)
[ "$out" = "$version" ] || fail "unpacked zorviutil -usbcom: '$out'"
out=$(env -u LD_LIBRARY_PATH "$root/usr/bin/zorvisim" --run "$root/usr/bin/zorviutil" -index 0 version 2>/dev/null)
[ "$out" = "$version" ] || fail "unpacked zorviutil -index: '$out'"

for page in zorviutil zorvisim; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done

printf '#include <zorvi.h>\nint main(void) { return ZORVI_GetStatusStringA(0, 0) == 0; }\n' >"$root/probe.c"
flags=$(PKG_CONFIG_SYSROOT_DIR="$root" PKG_CONFIG_LIBDIR="$root/$lib/pkgconfig" pkg-config --cflags --libs zorviapi)
gcc "$root/probe.c" -o "$root/probe" $flags || fail "cannot link with the pkg-config flags: $flags"

if [ "$(id -u)" -eq 0 ] && ! dpkg-query -W zorviutil >/dev/null 2>&1; then
  dpkg -i "$deb" >/dev/null
  trap 'dpkg -r zorviutil >/dev/null; rm -rf "$root"' EXIT
  out=$(env -u LD_LIBRARY_PATH zorvisim --run zorviutil -usbcom '{port}' version 2>/dev/null)
  [ "$out" = "$version" ] || fail "installed zorviutil: '$out'"
  man -w zorviutil >/dev/null || fail "man zorviutil finds no page"
fi
echo "package-check: $(basename "$deb") OK"
