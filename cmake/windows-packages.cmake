# The Windows packages. The zip (cpack -G ZIP, or the "package" target, in
# the Windows build): zorviutil-<version>-win64.zip, one folder with zorviutil.exe,
# zorviapi.dll, README.txt (a text help for Windows users with what
# `zorviutil.exe -h` and `-h comm` print) and LICENSE.txt. The program finds
# its library beside itself, so the folder works wherever it is unzipped.
#
# The PCIe stand-ins (tobra.dll, quenta.dll) stay out: they reach only the
# simulator, which is a Linux program, and beside zorviutil.exe they would be
# loaded in place of the installed driver's own DLLs of the same names (the
# program's folder comes first in Windows' DLL search).
# (zorviapi's import library is for programs built against the DLL: not in
# the zip.)
install(TARGETS zorviutil zorviapi RUNTIME DESTINATION . ARCHIVE EXCLUDE_FROM_ALL)

# README.txt is written by the Linux build's gen_docs from the program's own
# help (a cross build cannot run the Windows program without Wine).
set(ZORVI_NATIVE_BIN_DIR ${PROJECT_SOURCE_DIR}/build/bin CACHE PATH
    "bin folder of the Linux build (default preset): gen_docs for README.txt, test_e2e and zorvisim for the tests")
set(ZORVI_GEN_DOCS ${ZORVI_NATIVE_BIN_DIR}/gen_docs)
if(NOT EXISTS ${ZORVI_GEN_DOCS})
  message(WARNING "README.txt of the Windows zip is made by ${ZORVI_GEN_DOCS}: build the default preset first")
endif()
set(ZORVI_WINDOWS_README ${CMAKE_BINARY_DIR}/README.txt)
add_custom_command(OUTPUT ${ZORVI_WINDOWS_README}
  COMMAND ${ZORVI_GEN_DOCS} windows-help ${PROJECT_SOURCE_DIR}/doc/README-windows.txt.in ${ZORVI_WINDOWS_README}
  DEPENDS ${ZORVI_GEN_DOCS} ${PROJECT_SOURCE_DIR}/doc/README-windows.txt.in VERBATIM)
add_custom_target(zorvi_windows_readme ALL DEPENDS ${ZORVI_WINDOWS_README})
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${ZORVI_WINDOWS_README} ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)

# The installer (the "msi" target, when Debian's wixl and msitools are
# there): zorviutil-<version>-win64.msi puts the zip's files in
# "Program Files\zorviutil", appends that folder to the system PATH (and
# takes it out again on removal) and has Windows' uninstall entry. wixl has
# no Environment element: the PATH entry and the two actions that write and
# remove it are added to its database with msibuild.
find_program(ZORVI_WIXL wixl)
find_program(ZORVI_MSIBUILD msibuild)
if(ZORVI_WIXL AND ZORVI_MSIBUILD)
  set(ZORVI_MSI_DIR ${CMAKE_BINARY_DIR}/msi)
  set(ZORVI_MSI ${CMAKE_BINARY_DIR}/zorviutil-${PROJECT_VERSION}-win64.msi)
  # The same for every version, so that a newer one replaces an older.
  set(ZORVI_MSI_UPGRADE_CODE {DFAB7B28-9899-491E-8FD2-1A25BD7E1E6B})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/zorviutil.wxs.in ${ZORVI_MSI_DIR}/zorviutil.wxs @ONLY)
  set(sql_environment "CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, `Name` CHAR(255) NOT NULL LOCALIZABLE, \
`Value` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL PRIMARY KEY `Environment`)")
  # "=-*": set at installation, removed at removal, a system variable; "[~];"
  # appends to what PATH holds.
  set(sql_path "INSERT INTO `Environment` (`Environment`, `Name`, `Value`, `Component_`) \
VALUES ('PathEntry', '=-*PATH', '[~];[INSTALLDIR]', 'Program')")
  set(sql_sequence "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES")
  # wixl's MajorUpgrade replaces only older versions; a rebuild of the same
  # version (a new product code) would be installed beside the first, with a
  # second uninstall entry. Attributes 513: migrate the features, and the
  # version given is included.
  set(sql_same_version "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'")
  set(sql_upgrade "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) \
VALUES ('${ZORVI_MSI_UPGRADE_CODE}', '${PROJECT_VERSION}', 513, 'WIX_UPGRADE_DETECTED')")
  add_custom_command(OUTPUT ${ZORVI_MSI}
    COMMAND ${CMAKE_STRIP} -o ${ZORVI_MSI_DIR}/zorviutil.exe $<TARGET_FILE:zorviutil>
    COMMAND ${CMAKE_STRIP} -o ${ZORVI_MSI_DIR}/zorviapi.dll $<TARGET_FILE:zorviapi>
    COMMAND ${CMAKE_COMMAND} -E copy ${ZORVI_WINDOWS_README} ${CMAKE_BINARY_DIR}/LICENSE.txt ${ZORVI_MSI_DIR}
    COMMAND ${ZORVI_WIXL} -a x64 -o ${ZORVI_MSI}.part ${ZORVI_MSI_DIR}/zorviutil.wxs
    COMMAND ${ZORVI_MSIBUILD} ${ZORVI_MSI}.part -q "${sql_environment}" -q "${sql_path}"
            -q "${sql_sequence} ('RemoveEnvironmentStrings', 3300)" -q "${sql_sequence} ('WriteEnvironmentStrings', 5200)"
            -q "${sql_same_version}" -q "${sql_upgrade}"
    COMMAND ${CMAKE_COMMAND} -E rename ${ZORVI_MSI}.part ${ZORVI_MSI}
    DEPENDS zorviutil zorviapi ${ZORVI_WINDOWS_README} ${CMAKE_BINARY_DIR}/LICENSE.txt ${ZORVI_MSI_DIR}/zorviutil.wxs
    VERBATIM)
  add_custom_target(msi DEPENDS ${ZORVI_MSI})
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zorviutil)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME zorviutil-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
include(CPack)
