# Cross-compiling for 32-bit Windows with Debian's MinGW-w64, POSIX thread
# model (g++-mingw-w64-i686-posix), for 32-bit host programs, which cannot
# load a 64-bit DLL:
#   cmake -S . -B build/win32 --toolchain cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VEXAL_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
