# Cross build for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-win32). Programs and DLLs are linked statically
# against the compiler's runtime, so they need only the system's own DLLs.
# Wine runs what the build produces: CTest starts the Windows tests through
# it, as CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZORVI_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZORVI_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${ZORVI_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${ZORVI_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZORVI_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

find_program(ZORVI_WINE wine)
if(ZORVI_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZORVI_WINE})
endif()
