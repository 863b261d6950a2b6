# Frame decoder fuzzing. The replay runner is built by every compiler and
# CTest runs it over the checked-in corpus; the libFuzzer program itself
# needs clang.
add_executable(frame_decoder_replay ${CMAKE_CURRENT_LIST_DIR}/decoder_fuzz.cpp ${CMAKE_CURRENT_LIST_DIR}/replay_main.cpp)
target_compile_options(frame_decoder_replay PRIVATE ${ZORVI_WARNINGS})
target_link_libraries(frame_decoder_replay PRIVATE zorviapi_codec)
add_test(NAME frame_decoder_corpus COMMAND frame_decoder_replay ${CMAKE_CURRENT_LIST_DIR}/corpus/frame_decoder)
set_tests_properties(frame_decoder_corpus PROPERTIES LABELS zorviapi TIMEOUT 60)

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # The codec is compiled into the fuzzer itself so that it is instrumented.
  add_executable(frame_decoder_fuzz ${CMAKE_CURRENT_LIST_DIR}/decoder_fuzz.cpp
                                    ${CMAKE_SOURCE_DIR}/zorviapi/frame_codec.cpp)
  target_include_directories(frame_decoder_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/zorviapi)
  target_compile_options(frame_decoder_fuzz PRIVATE ${ZORVI_WARNINGS} -fsanitize=fuzzer,address,undefined)
  target_link_options(frame_decoder_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
endif()
