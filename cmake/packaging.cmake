# The Debian package (cpack -G DEB from a build configured with the
# "package" preset): the programs, the library with its header and
# pkg-config file, the simulator's PCIe stand-ins in their private folder,
# the man pages, the bash completion and the udev rule for the board's USB
# serial port.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/60-zorviutil.rules DESTINATION lib/udev/rules.d)
# The metrics timer and service (write-metrics every 30 s for one port).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/zorvi-metrics@.service ${PROJECT_SOURCE_DIR}/packaging/zorvi-metrics@.timer
        DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/sim/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME zorvisim.md)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorviutil)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "zorviutil maintainers <zorviutil@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "maintenance tool for the management microcontroller of FPGA boards")
set(CPACK_PACKAGE_DESCRIPTION "zorviutil reads and updates the firmware, board configuration, VPD, sensors \
and SPI flash of a board through its management microcontroller, over USB, the board's UART or PCIe. \
The package also holds the serial link library libzorviapi with its header, and zorvisim, a simulated \
board to try the tool without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Shared library in the package: dpkg runs ldconfig through this trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
