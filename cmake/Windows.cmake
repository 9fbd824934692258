# What the Windows build adds to the project: Win32 definitions, the tools'
# header-only libraries from the build host, GoogleTest built from Debian's
# sources, and how its test programs run under Wine.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
# MinGW's g++ 12 at -O3 reports string copies as overlapping where they are
# not (a known false positive of that release); visible, not fatal.
if(VEXAL_WERROR AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-error=restrict)
endif()

# CLI11 and nlohmann/json are headers only; the build host's copies serve,
# through a folder that holds them alone (the host's /usr/include must not
# shadow the MinGW C library's headers).
set(vexal_host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${vexal_host_headers})
foreach(dir CLI nlohmann)
  if(EXISTS /usr/include/${dir} AND NOT EXISTS ${vexal_host_headers}/${dir})
    file(CREATE_LINK /usr/include/${dir} ${vexal_host_headers}/${dir} SYMBOLIC)
  endif()
endforeach()
foreach(target CLI11::CLI11 nlohmann_json::nlohmann_json)
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${vexal_host_headers})
endforeach()

# The Linux build whose simulator (and command-line tool, for comparisons)
# the tests under Wine use; the simulator stays a Linux program.
set(VEXAL_LINUX_BUILD_DIR "${PROJECT_SOURCE_DIR}/build/dev" CACHE PATH
    "Linux build holding out/vexal-hubsim and out/vexalcfg for the tests under Wine")
set(VEXAL_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH
    "Wine prefix the tests make once per test run and remove afterwards")
set(VEXAL_WINE_HARNESS ${PROJECT_SOURCE_DIR}/scripts/wine-harness.sh)
# Test programs given by target name run under Wine through the harness.
set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXAL_WINE_HARNESS} run)

# GoogleTest from /usr/src/googletest, built with the cross compiler; its own
# warnings are not ours to fix.
macro(vexal_add_cross_googletest)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  get_directory_property(vexal_saved_options COMPILE_OPTIONS)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "-w")
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${vexal_saved_options}")
  # (It names its targets GTest::gtest and GTest::gtest_main itself.)
endmacro()

# A test of the Windows build: the command runs on the build host (a target
# name in it runs under Wine), in the Wine prefix of this test run.
function(vexal_add_wine_test name)
  add_test(NAME ${name} ${ARGN})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine_prefix
    LABELS windows
    ENVIRONMENT "VEXAL_WINEPREFIX=${VEXAL_WINEPREFIX};VEXAL_HUBSIM=${VEXAL_LINUX_BUILD_DIR}/out/vexal-hubsim")
endfunction()
