# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (the POSIX thread
# model, which std::thread needs). The libraries come from the prefix that
# scripts/windows.sh builds, given as TESSELWICK_WINDOWS_PREFIX; the build
# machine's own headers and libraries are never seen.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)

set(TESSELWICK_WINDOWS_PREFIX "" CACHE PATH "Where scripts/windows.sh built the libraries")
set(CMAKE_FIND_ROOT_PATH /usr/${triplet} ${TESSELWICK_WINDOWS_PREFIX})
list(APPEND CMAKE_PREFIX_PATH ${TESSELWICK_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config answers from the prefix alone.
set(ENV{PKG_CONFIG_LIBDIR} ${TESSELWICK_WINDOWS_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(wxWidgets_CONFIG_EXECUTABLE ${TESSELWICK_WINDOWS_PREFIX}/bin/wx-config)

# One file each: the C and C++ runtimes and the thread library linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
