# The Windows build (cmake --preset windows): cross-compiled with mingw-w64
# (cmake/mingw-w64-x86_64.cmake) and tested under Wine. It builds zerviko-flash.exe,
# the wizard zerviko-loader.exe with its language libraries, the Qt-free libraries
# and their tests; the virtual printer stays on Linux.

# A Linux build of this tree gives what the Windows build runs on the build machine:
# from its tools folder (beside its program folder), zerviko-mkpackage writes the sample
# packages, zerviko-draw-pictures draws the wizard's pictures and zerviko-wine-tests
# drives zerviko-flash.exe; from its program folder, the tests run the virtual printer
# zerviko-target and compare with zerviko-flash. The windows preset names the release
# preset's program folder.
set(ZERVIKO_HOST_BIN_DIR "${PROJECT_SOURCE_DIR}/build/release/bin" CACHE PATH
    "Program folder of a Linux build of this tree (its zerviko-target and zerviko-flash)")
get_filename_component(ZERVIKO_HOST_TOOLS_DIR "${ZERVIKO_HOST_BIN_DIR}/../tools" ABSOLUTE)
foreach(_tool "${ZERVIKO_HOST_BIN_DIR}/zerviko-target" "${ZERVIKO_HOST_BIN_DIR}/zerviko-flash"
              "${ZERVIKO_HOST_TOOLS_DIR}/zerviko-mkpackage" "${ZERVIKO_HOST_TOOLS_DIR}/zerviko-draw-pictures")
  if(NOT EXISTS "${_tool}")
    message(FATAL_ERROR "${_tool} is missing: build the Linux release "
                        "preset first (bash scripts/build.sh release windows)")
  endif()
endforeach()

# <windows.h> without the min and max macros, and without what no file here needs.
# _FILE_OFFSET_BITS: 64-bit off_t, fseeko and ftello, as on Linux.
add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN _FILE_OFFSET_BITS=64)

# The program folder for Windows users, zipped by the build, and its installer
# (packaging/windows).
set(ZERVIKO_WINDOWS_ZIP "${CMAKE_BINARY_DIR}/zerviko-flash-windows-x64.zip")
set(ZERVIKO_WINDOWS_INSTALLER "${CMAKE_BINARY_DIR}/zerviko-loader-setup.exe")

# CLI11 and nlohmann-json are header-only: the host's headers serve, taken from a
# folder of their own so that the rest of the host's /usr/include stays out of sight.
set(_headers "${CMAKE_BINARY_DIR}/host-headers")
file(MAKE_DIRECTORY "${_headers}")
foreach(_package "CLI11|CLI11::CLI11|CLI" "nlohmann_json|nlohmann_json::nlohmann_json|nlohmann")
  string(REPLACE "|" ";" _fields "${_package}")
  list(GET _fields 0 _name)
  list(GET _fields 1 _target)
  list(GET _fields 2 _folder)
  file(CREATE_LINK "/usr/include/${_folder}" "${_headers}/${_folder}" SYMBOLIC)
  string(TOLOWER "${_name}" _lower)
  file(WRITE "${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${_lower}-config.cmake"
    "if(NOT TARGET ${_target})\n"
    "  add_library(${_target} INTERFACE IMPORTED)\n"
    "  set_target_properties(${_target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${_headers}\")\n"
    "endif()\n")
endforeach()

# GoogleTest from the source Debian's googletest package installs.
if(ZERVIKO_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
endif()
