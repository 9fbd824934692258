# Cross-compiling for 64-bit Windows with Debian's MinGW-w64, POSIX thread
# model (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build/win --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VEXAL_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
