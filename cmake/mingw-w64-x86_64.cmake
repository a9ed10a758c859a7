# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 GCC. The posix thread model: the
# C++ library's std::thread and std::mutex need it, and it links statically like the rest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TIDEWATER_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TIDEWATER_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TIDEWATER_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TIDEWATER_MINGW}-windres)
set(CMAKE_AR ${TIDEWATER_MINGW}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${TIDEWATER_MINGW}-ranlib CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${TIDEWATER_MINGW})
# Programs from the host, libraries and headers only from the target's trees (and CMAKE_PREFIX_PATH).
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
