# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix thread model, for
# std::thread). Everything is linked statically, so the programs need no DLL beside
# them. Used by the windows preset: cmake --preset windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZERVIKO_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZERVIKO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZERVIKO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZERVIKO_MINGW_TRIPLET}-windres)

# Libraries and headers come from the mingw-w64 tree only, never from the host's /usr.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${ZERVIKO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# The test programs run under Wine (the tests give each its prefix).
find_program(ZERVIKO_WINE wine)
if(ZERVIKO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${ZERVIKO_WINE}")
endif()
