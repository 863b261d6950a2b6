# End-to-end tests of the Windows build: the Linux build's test_e2e runs
# this build's zorviutil.exe through Wine against the Linux simulator. The
# Linux build (default preset) must have been built first. Two shards share
# the suite so that both cores work.
#
# Left out here, each for its reason:
# - E2eLink.SerialPortFailuresNameTheLibraryStatus: a port held by another
#   program (Wine does not refuse a second open) and the hints about device
#   files, which the Windows tool does not give;
# - E2eLink.RunOptionServesTheCommandAndReturnsItsStatus, the first three
#   E2eZorvisim tests and PcieStandIn: the simulator and the Linux stand-in
#   libraries alone, nothing of the Windows programs;
# - StopRequest: POSIX signals sent to the process (a console's Ctrl-C
#   cannot be sent to a program under Wine without a console).
# The two sweeps run for the Windows tool at a sample of the exchanges,
# since every Wine start costs a good part of a second.
set(ZORVI_NATIVE_BIN_DIR ${PROJECT_SOURCE_DIR}/build/bin CACHE PATH
    "bin folder of the Linux build that holds test_e2e and zorvisim")
set(ZORVI_WINE_E2E_FILTER "-E2eLink.SerialPortFailuresNameTheLibraryStatus:E2eLink.RunOptionServesTheCommandAndReturnsItsStatus:E2eZorvisim.HandshakeNamesATerminalAndSigtermStopsCleanly:E2eZorvisim.HelpAndBadOptions:E2eZorvisim.VersionModelsAndNewStateFolder:*PcieStandIn.*:StopRequest.*")

# The Wine prefix, made once per run before any Windows program starts; its
# server stays up between the programs and ends by itself a while after the
# last one.
find_program(ZORVI_WINEBOOT wineboot)
find_program(ZORVI_WINESERVER wineserver)
# (A server already running for the prefix refuses a second one; it serves.
# Their output goes nowhere: the server and Wine's services outlive the
# test and must not hold its output open.)
add_test(NAME wine_prefix COMMAND sh -c "\"$1\" -p30 </dev/null >/dev/null 2>&1; \"$0\" -i </dev/null >/dev/null 2>&1"
         ${ZORVI_WINEBOOT} ${ZORVI_WINESERVER})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)

# Each run of zorviutil.exe goes through this launcher, which keeps the
# code the program ended with (see its file).
add_executable(wine_exit_code ${CMAKE_CURRENT_SOURCE_DIR}/e2e/wine_exit_code.c)
target_compile_options(wine_exit_code PRIVATE ${ZORVI_WARNINGS})

foreach(shard 0 1)
  add_test(NAME e2e_wine_${shard} COMMAND ${ZORVI_NATIVE_BIN_DIR}/test_e2e)
  set_tests_properties(e2e_wine_${shard} PROPERTIES LABELS e2e TIMEOUT 1500 FIXTURES_REQUIRED wine
    ENVIRONMENT "ZORVI_E2E_WINDOWS_BIN=${CMAKE_BINARY_DIR}/bin;GTEST_TOTAL_SHARDS=2;GTEST_SHARD_INDEX=${shard};GTEST_FILTER=${ZORVI_WINE_E2E_FILTER}")
endforeach()
