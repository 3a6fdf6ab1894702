# Cross build of the Windows x86-64 console executable with Debian's MinGW-w64
# toolchain (package g++-mingw-w64-x86-64-posix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# The static libraries Debian has no MinGW package of (libarchive, liblzma,
# expat, bzip2, zstd): cmake/build-mingw-libs.sh builds them and points
# build/mingw-libs at them.
set(QUILLON_MINGW_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../build/mingw-libs" CACHE PATH
  "Prefix of the static MinGW libraries (made by cmake/build-mingw-libs.sh)")
set(CMAKE_FIND_ROOT_PATH "${QUILLON_MINGW_PREFIX}" /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# One self-contained executable: the C++ runtime and winpthread linked in, so
# that it needs nothing but Windows' own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
