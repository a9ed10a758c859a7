# The Windows build: the engine and the show cross-compiled by MinGW-w64 into one statically
# linked tidewater.exe that needs no DLL beside it (build-windows/, `cmake --preset windows`).
# Included from CMakeLists.txt when the target is Windows, in place of the native targets: no
# tools, tests or benchmarks are built here (the native tests drive this program under Wine), and
# the host's pkg-config packages are never looked at.

# The third-party libraries, built once from Debian's source packages and cached outside the
# clone (scripts/windows-deps prints one install prefix per library).
# TIDEWATER_WINDOWS_DEPS, when given, names the prefixes instead (libraries built elsewhere).
if(DEFINED TIDEWATER_WINDOWS_DEPS)
  set(WINDOWS_DEPS ${TIDEWATER_WINDOWS_DEPS})
else()
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/windows-deps
    OUTPUT_VARIABLE WINDOWS_DEPS OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "scripts/windows-deps failed")
  endif()
  string(REPLACE "\n" ";" WINDOWS_DEPS "${WINDOWS_DEPS}")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${WINDOWS_DEPS})
list(APPEND CMAKE_PREFIX_PATH ${WINDOWS_DEPS})

find_package(SDL2 2.26.5 EXACT REQUIRED CONFIG)
find_path(OPENMPT_INCLUDE libopenmpt/libopenmpt.hpp REQUIRED)
find_library(OPENMPT_LIB libopenmpt.a REQUIRED)
find_path(PNG_INCLUDE png.h PATH_SUFFIXES libpng16 REQUIRED)
find_library(PNG_LIB libpng16.a REQUIRED)
find_library(Z_LIB libz.a REQUIRED)

# The C99 printf family of the MinGW runtime, not the system's older one: %zu and %lld as the
# messages use them, and floats formatted as on Linux (the benchmark's and progress lines).
# And the POSIX reentrant time functions (localtime_r), which mingw declares with this.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1 _POSIX_THREAD_SAFE_FUNCTIONS=200112L)
# GCC checks format(printf) attributes against the system's printf here, which lacks %zu; the
# native build checks the same formats against C99's.
add_compile_options(-Wno-format)

add_library(tidewater_engine STATIC ${ENGINE_SOURCES})
# Quoted includes only: src/math.h must not stand in for the C library's <math.h>.
target_compile_options(tidewater_engine PUBLIC "SHELL:-iquote ${CMAKE_SOURCE_DIR}/src"
                       "SHELL:-iquote ${CMAKE_SOURCE_DIR}/glint")
target_include_directories(tidewater_engine SYSTEM PUBLIC ${OPENMPT_INCLUDE} ${PNG_INCLUDE})
# SDL_MAIN_HANDLED: main() is the program's own entry point, SDL's WinMain wrapper is not linked.
target_compile_definitions(tidewater_engine PUBLIC TIDEWATER_VERSION="${PROJECT_VERSION}" SDL_MAIN_HANDLED)
target_link_libraries(tidewater_engine PUBLIC SDL2::SDL2-static ${OPENMPT_LIB} ${PNG_LIB} ${Z_LIB})

# The GUI subsystem: a double click opens no console window (glint_console_win.cpp attaches to the
# terminal's console when there is one).
add_executable(tidewater WIN32 src/main.cpp)
target_link_libraries(tidewater PRIVATE tidewater_engine)
# One file: the C and C++ runtimes and winpthreads linked in, only system DLLs imported; no symbols.
target_link_options(tidewater PRIVATE -static -static-libgcc -static-libstdc++ -s)

# The datafile comes from the native build (it is the same on every platform) and lies beside
# the program, where the program looks for it.
set(TIDEWATER_HOST_BUILD ${CMAKE_SOURCE_DIR}/build CACHE PATH "Native build tree that makes qx-tdwt.dat")
add_custom_target(datafile ALL
  COMMAND ${CMAKE_COMMAND} --build ${TIDEWATER_HOST_BUILD} --target datafile
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TIDEWATER_HOST_BUILD}/qx-tdwt.dat ${CMAKE_BINARY_DIR}/qx-tdwt.dat
  COMMENT "Taking the datafile from the native build (${TIDEWATER_HOST_BUILD})"
  USES_TERMINAL)

# A stand-in for ffmpeg.exe that the capture checks put on Wine's PATH (tests/test_windows.cpp).
add_executable(stand_in_encoder tests/windows/stand_in_encoder.cpp)
set_target_properties(stand_in_encoder PROPERTIES OUTPUT_NAME ffmpeg
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/stand-in)
target_link_options(stand_in_encoder PRIVATE -static -static-libgcc -static-libstdc++)
