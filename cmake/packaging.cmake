# The Debian package and the RPM (cpack -G DEB, cpack -G RPM from a build
# configured with the "package" preset): the programs, the library with its
# header and pkg-config file, the simulator's PCIe stand-ins in their private
# folder, the man pages, the bash completion, the udev rule for the board's
# USB serial port and the copyright file.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/60-zorviutil.rules DESTINATION lib/udev/rules.d)
# The metrics timers and services: write-metrics every 30 s for one port,
# write-metrics-all every 30 s for every board of the host.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/zorvi-metrics@.service ${PROJECT_SOURCE_DIR}/packaging/zorvi-metrics@.timer
              ${PROJECT_SOURCE_DIR}/packaging/zorvi-metrics-all.service
              ${PROJECT_SOURCE_DIR}/packaging/zorvi-metrics-all.timer
        DESTINATION lib/systemd/system)
# Their system user (the post-install script gives it its way into
# node_exporter's textfile folder).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/zorviutil.sysusers DESTINATION lib/sysusers.d RENAME zorviutil.conf)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/sim/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME zorvisim.md)

# The copyright file in Debian's machine-readable format, made from LICENSE
# so that the two cannot differ: LICENSE's copyright line, and the
# permission text below it as the License paragraph's body (each line
# indented by one space, a blank line written " .").
file(READ ${PROJECT_SOURCE_DIR}/LICENSE ZORVI_LICENSE)
if(NOT ZORVI_LICENSE MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(.*[^\n])\n*$")
  message(FATAL_ERROR "LICENSE: no copyright line followed by the permission text")
endif()
set(ZORVI_COPYRIGHT ${CMAKE_MATCH_1})
string(REPLACE "\n\n" "\n.\n" ZORVI_LICENSE_TEXT " ${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " ZORVI_LICENSE_TEXT "${ZORVI_LICENSE_TEXT}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${CMAKE_BINARY_DIR}/copyright @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorviutil)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the zorviutil authors")
set(CPACK_PACKAGE_CONTACT "zorviutil maintainers <zorviutil@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "maintenance tool for the management microcontroller of FPGA boards")
set(CPACK_PACKAGE_DESCRIPTION "zorviutil reads and updates the firmware, board configuration, VPD, sensors \
and SPI flash of a board through its management microcontroller, over USB, the board's UART or PCIe. \
The package also holds the serial link library libzorviapi with its header, and zorvisim, a simulated \
board to try the tool without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# setfacl gives the metrics units' user its way into node_exporter's folder.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS acl)
# Shared library in the package: the shlibs file lets other packages depend
# on it; ldconfig runs in the post-install script below and in the
# post-removal script cpack writes.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Replaces the post-install script cpack would write (ldconfig alone): it
# runs ldconfig too, then applies the udev rule to the ports already there.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst)
set(CPACK_STRIP_FILES ON)

# The RPM is made from the same build as the .deb, so it keeps the build's
# library folder (/usr/lib/<multiarch>) rather than lib64: the programs find
# the library and the stand-ins relative to themselves, so they run as
# installed on any rpm-based system, and a second build for the other folder
# would double the package check's time. A program of one's own that links
# with libzorviapi there takes the pkg-config file from that folder
# (PKG_CONFIG_PATH) and needs it in its run path.
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_RPM_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RPM_POST_INSTALL_SCRIPT_FILE ${PROJECT_SOURCE_DIR}/packaging/postinst)
# Folders the system's own packages own: listed in the RPM they would be
# claimed by it.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/lib/udev /usr/lib/udev/rules.d /usr/lib/systemd
    /usr/lib/systemd/system /usr/lib/sysusers.d /usr/share/man /usr/share/man/man1 /usr/share/bash-completion
    /usr/share/bash-completion/completions)
include(CPack)
