# What both MinGW-w64 toolchain files share (Debian's compilers of the POSIX
# thread model, VEXAL_MINGW_TRIPLET set by the including file).
set(CMAKE_SYSTEM_NAME Windows)

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
# programs need nothing but Windows' own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
