# What the Windows build adds to the project: Win32 definitions, the tools'
# header-only libraries from the build host, GoogleTest built from Debian's
# sources, the DLLs' exports, and how its test programs run under Wine.
# Both widths build from here: 64-bit (cmake/mingw-w64-x86_64.cmake) and
# 32-bit (cmake/mingw-w64-i686.cmake), for host programs of either width.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(VEXAL_WINDOWS_X86 ON)
  set(VEXAL_WINDOWS_WIDTH x86)
  set(VEXAL_DLLTOOL_MACHINE i386)
else()
  set(VEXAL_WINDOWS_X86 OFF)
  set(VEXAL_WINDOWS_WIDTH x64)
  set(VEXAL_DLLTOOL_MACHINE i386:x86-64)
endif()
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
# 32-bit programs need Debian's wine32 (its loader /usr/lib/wine/wine) and a
# prefix of their own width. Without it the 32-bit build's Wine tests are
# registered but disabled, so that CTest lists them as not run.
if(VEXAL_WINDOWS_X86)
  set(VEXAL_WINE_LOADER /usr/lib/wine/wine)
  set(VEXAL_WINEARCH win32)
else()
  set(VEXAL_WINE_LOADER /usr/lib/wine/wine64)
  set(VEXAL_WINEARCH win64)
endif()
if(EXISTS ${VEXAL_WINE_LOADER})
  set(VEXAL_WINE_RUNS ON)
else()
  set(VEXAL_WINE_RUNS OFF)
  message(STATUS "No Wine loader ${VEXAL_WINE_LOADER} for ${VEXAL_WINDOWS_WIDTH} programs: "
                 "their tests under Wine are disabled (the static checks run)")
endif()
set(vexal_wine_environment
    "VEXAL_WINEPREFIX=${VEXAL_WINEPREFIX};VEXAL_WINE=${VEXAL_WINE_LOADER};VEXAL_WINEARCH=${VEXAL_WINEARCH}")
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
    ENVIRONMENT "${vexal_wine_environment};VEXAL_HUBSIM=${VEXAL_LINUX_BUILD_DIR}/out/vexal-hubsim")
  if(NOT VEXAL_WINE_RUNS)
    set_tests_properties(${name} PROPERTIES DISABLED ON)
  endif()
endfunction()

# A DLL's exports: exactly the names of its module-definition file,
# undecorated on both widths. On x86 the compiler names a __stdcall function
# _name@bytes; the linker binds the .def's plain name to it (stdcall fix-up,
# asked for so that it is silent) and exports the plain name.
function(vexal_windows_exports target def)
  target_sources(${target} PRIVATE ${def})
  if(VEXAL_WINDOWS_X86)
    target_link_options(${target} PRIVATE "LINKER:--enable-stdcall-fixup")
  endif()
endfunction()

# out/<target>.lib, the import library of a DLL for Microsoft Visual C++ users,
# made from its .def. On x86 a caller compiled with the header refers to
# _name@bytes: the library carries those symbols, each bound to the plain
# exported name, with the byte counts the DLL's own symbol table gives.
function(vexal_windows_import_library target def)
  set(lib ${CMAKE_BINARY_DIR}/out/${target}.lib)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${CMAKE_DLLTOOL} -DMACHINE=${VEXAL_DLLTOOL_MACHINE}
            -DDLL=$<TARGET_FILE:${target}> -DDEF=${def} -DWORK=${CMAKE_CURRENT_BINARY_DIR} -DLIB=${lib}
            -P ${PROJECT_SOURCE_DIR}/cmake/ImportLibrary.cmake
    BYPRODUCTS ${lib}
    COMMENT "Making the import library of ${target}"
    VERBATIM)
endfunction()
