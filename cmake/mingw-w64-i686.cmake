# Cross-compiling for 32-bit Windows with Debian's MinGW-w64, POSIX thread
# model (g++-mingw-w64-i686-posix), for 32-bit host programs, which cannot
# load a 64-bit DLL:
#   cmake -S . -B build/win32 --toolchain cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(VEXAL_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VEXAL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEXAL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VEXAL_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${VEXAL_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${VEXAL_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${VEXAL_MINGW_TRIPLET}-objdump CACHE FILEPATH "")
set(CMAKE_DLLTOOL ${VEXAL_MINGW_TRIPLET}-dlltool CACHE FILEPATH "")
set(CMAKE_NM ${VEXAL_MINGW_TRIPLET}-nm CACHE FILEPATH "")

# Libraries and headers from the MinGW tree only; programs from the build host.
set(CMAKE_FIND_ROOT_PATH /usr/${VEXAL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, libgcc and winpthread linked in, so that the DLLs and
# programs need nothing but Windows' own DLLs. (i686 libgcc unwinds with
# DWARF-2 tables: nothing of it needs to cross a module boundary here, as
# no exception leaves a DLL.)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
