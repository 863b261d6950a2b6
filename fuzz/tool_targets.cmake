# Fuzzing of the tool's own decoders: board records (VPD, sensor pages),
# the command line and Intel Hex files. As for the frame decoder, CTest
# replays the checked-in corpora with every compiler; the libFuzzer programs
# need clang.
foreach(target board_records command_line intel_hex)
  add_executable(${target}_replay ${CMAKE_CURRENT_LIST_DIR}/fuzz_${target}.cpp ${CMAKE_CURRENT_LIST_DIR}/replay_main.cpp)
  target_compile_options(${target}_replay PRIVATE ${ZORVI_WARNINGS})
  add_test(NAME ${target}_corpus COMMAND ${target}_replay ${CMAKE_CURRENT_LIST_DIR}/corpus/${target})
  set_tests_properties(${target}_corpus PROPERTIES LABELS fuzz TIMEOUT 120)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(${target}_fuzz ${CMAKE_CURRENT_LIST_DIR}/fuzz_${target}.cpp)
    target_compile_options(${target}_fuzz PRIVATE ${ZORVI_WARNINGS} -fsanitize=fuzzer,address,undefined)
    target_link_options(${target}_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  endif()
endforeach()
target_link_libraries(board_records_replay PRIVATE zorvi_boardinfo)
target_link_libraries(command_line_replay PRIVATE zorvi_cli)
target_link_libraries(intel_hex_replay PRIVATE zorvi_formats)
if(TARGET board_records_fuzz)
  target_link_libraries(board_records_fuzz PRIVATE zorvi_boardinfo)
  target_link_libraries(command_line_fuzz PRIVATE zorvi_cli)
  target_link_libraries(intel_hex_fuzz PRIVATE zorvi_formats)
endif()
