# End-to-end tests of the Windows build: the Linux build's test_e2e runs
# this build's zorviutil.exe through Wine against the Linux simulator. The
# Linux build (default preset) must have been built first. Two shards share
# the suite so that both cores work.
set(ZORVI_NATIVE_BIN_DIR ${PROJECT_SOURCE_DIR}/build/bin CACHE PATH
    "bin folder of the Linux build that holds test_e2e and zorvisim")
foreach(shard 0 1)
  add_test(NAME e2e_wine_${shard} COMMAND ${ZORVI_NATIVE_BIN_DIR}/test_e2e)
  set_tests_properties(e2e_wine_${shard} PROPERTIES LABELS e2e TIMEOUT 1500
    ENVIRONMENT "ZORVI_E2E_WINDOWS_BIN=${CMAKE_BINARY_DIR}/bin;GTEST_TOTAL_SHARDS=2;GTEST_SHARD_INDEX=${shard}")
endforeach()
