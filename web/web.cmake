# The web build: the engine and the show compiled to WebAssembly by emscripten, and the page that
# plays them (build-web/site). Configured by `cmake --preset web`; ./run --web and ./test --web
# drive it. Included from CMakeLists.txt when the compiler is emscripten, in place of the native
# targets: no tools, tests or benchmarks are built here, and the host's pkg-config packages are
# never looked at.

# The platform halves are the browser's (glint/*_web.cpp, chosen in CMakeLists.txt) instead of
# SDL2's; no libpng (screenshots are written by a small encoder of their own).

# WebAssembly has no rounding modes; the engine rounds in software where it needs a direction.
add_compile_options(-fno-rounding-math)
# Float-to-integer conversions as single instructions, and 128-bit vector operations for the loops
# the compiler vectorises (every browser of the last years has both).
add_compile_options(-mnontrapping-fptoint -msimd128)
# clang asks for braces around the scenes' Trigger initialisers, which gcc takes as they are.
add_compile_options(-Wno-missing-braces)

# Debian's emscripten finds its JavaScript tools (used when linking) only through NODE_PATH.
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)

# libopenmpt, built from Debian's source with em++ once per machine (scripts/web-libopenmpt), into
# $TIDEWATER_CACHE (default /var/cache/tidewater) beside the Windows build's libraries, so that
# later builds and clones reuse it; into this tree where that folder cannot be written.
file(STRINGS ${CMAKE_SOURCE_DIR}/scripts/web-libopenmpt OPENMPT_VERSION_LINE REGEX "^Version=")
string(REGEX REPLACE "^Version=([^-]*).*" "\\1" OPENMPT_VERSION "${OPENMPT_VERSION_LINE}")
if(DEFINED ENV{TIDEWATER_CACHE})
  set(TIDEWATER_CACHE_DEFAULT $ENV{TIDEWATER_CACHE})
else()
  set(TIDEWATER_CACHE_DEFAULT /var/cache/tidewater)
endif()
set(OPENMPT_DIR ${TIDEWATER_CACHE_DEFAULT}/web-libopenmpt-${OPENMPT_VERSION})
execute_process(COMMAND mkdir -p ${OPENMPT_DIR} RESULT_VARIABLE OPENMPT_MKDIR ERROR_QUIET)
execute_process(COMMAND test -w ${OPENMPT_DIR} RESULT_VARIABLE OPENMPT_WRITABLE)
if(NOT OPENMPT_MKDIR EQUAL 0 OR NOT OPENMPT_WRITABLE EQUAL 0)
  set(OPENMPT_DIR ${CMAKE_BINARY_DIR}/libopenmpt)
endif()
message(STATUS "libopenmpt for the web build: ${OPENMPT_DIR}")
set(OPENMPT_LIB ${OPENMPT_DIR}/install/lib/libopenmpt.a)
file(MAKE_DIRECTORY ${OPENMPT_DIR}/install/include)
add_custom_command(OUTPUT ${OPENMPT_LIB}
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/web-libopenmpt ${OPENMPT_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/web-libopenmpt
  COMMENT "Building libopenmpt for the web build"
  USES_TERMINAL)
add_custom_target(libopenmpt_web DEPENDS ${OPENMPT_LIB})

add_library(tidewater_engine STATIC ${ENGINE_SOURCES})
add_dependencies(tidewater_engine libopenmpt_web)
# Quoted includes only: src/math.h must not stand in for the C library's <math.h>.
target_compile_options(tidewater_engine PUBLIC "SHELL:-iquote ${CMAKE_SOURCE_DIR}/src"
                       "SHELL:-iquote ${CMAKE_SOURCE_DIR}/glint")
target_include_directories(tidewater_engine SYSTEM PUBLIC ${OPENMPT_DIR}/install/include)
target_compile_definitions(tidewater_engine PUBLIC TIDEWATER_VERSION="${PROJECT_VERSION}")
target_link_libraries(tidewater_engine PUBLIC ${OPENMPT_LIB})

add_executable(tidewater src/main.cpp)
target_link_libraries(tidewater PRIVATE tidewater_engine)
target_link_options(tidewater PRIVATE
  -sENVIRONMENT=web
  -sMODULARIZE=1                 # createTidewater(): a fresh program for every run of the page
  -sEXPORT_NAME=createTidewater
  -sINVOKE_RUN=0                 # the page calls main once the datafile is in place
  -sEXIT_RUNTIME=0               # main returns while the browser runs the frame loop
  -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=67108864
  -sFORCE_FILESYSTEM=1
  "-sEXPORTED_RUNTIME_METHODS=['callMain','FS','ccall']"
  "-sEXPORTED_FUNCTIONS=['_main','_audiodev_webFill','_webcheck_music','_webcheck_position','_webcheck_rowTimes',\
'_page_chapters','_page_scene','_page_rejoin','_glint_webClose','_glint_webShown']")
if(CMAKE_BUILD_TYPE STREQUAL "Release")
  target_link_options(tidewater PRIVATE -O2)
endif()

# The datafile, the poster frame and the icons come from the native build: its generators are
# host tools, and the browser must show exactly the bytes the native program shows.
set(TIDEWATER_HOST_BUILD ${CMAKE_SOURCE_DIR}/build CACHE PATH "Native build tree that makes qx-tdwt.dat")
set(HOST_EXE ${TIDEWATER_HOST_BUILD}/tidewater)
set(HOST_DATAFILE ${TIDEWATER_HOST_BUILD}/qx-tdwt.dat)
add_custom_target(host_datafile
  COMMAND ${CMAKE_COMMAND} --build ${TIDEWATER_HOST_BUILD} --target datafile tidewater mkassets
  COMMENT "Making the datafile, program and asset tools in the native build (${TIDEWATER_HOST_BUILD})"
  USES_TERMINAL)

# The start screen's poster: a frame of the show itself (the chrome logo over the ribbons, order 4
# row 40), taken by the native program, so it follows the show when the show changes.
set(POSTER_DIR ${CMAKE_BINARY_DIR}/poster)
add_custom_command(OUTPUT ${POSTER_DIR}/04-40.png
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${POSTER_DIR}
  COMMAND ${HOST_EXE} --headless --shots 4:40 --out ${POSTER_DIR}
  WORKING_DIRECTORY ${TIDEWATER_HOST_BUILD}
  DEPENDS host_datafile ${HOST_EXE} ${HOST_DATAFILE}
  COMMENT "Taking the poster frame from the show"
  VERBATIM)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/poster.png
  COMMAND ${CMAKE_COMMAND} -E copy ${POSTER_DIR}/04-40.png ${CMAKE_BINARY_DIR}/poster.png
  DEPENDS ${POSTER_DIR}/04-40.png
  VERBATIM)

# The app icons, from the logo art by the asset tools.
set(ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(WEB_ICONS ${ICON_DIR}/tidewater-32.png ${ICON_DIR}/tidewater-192.png ${ICON_DIR}/tidewater-512.png)
add_custom_command(OUTPUT ${WEB_ICONS}
  COMMAND ${TIDEWATER_HOST_BUILD}/mkassets --icons ${ICON_DIR}
  DEPENDS host_datafile ${TIDEWATER_HOST_BUILD}/mkassets
  COMMENT "Making the app icons"
  VERBATIM)

# The site: page, program, worklet, datafile, poster, icons and web app manifest, each beside its
# gzip copy, manifest.json, and the service worker that keeps this version for offline use.
set(WEB_PAGE_FILES ${CMAKE_SOURCE_DIR}/web/index.html ${CMAKE_SOURCE_DIR}/web/page.js
    ${CMAKE_SOURCE_DIR}/web/audio-worklet.js ${CMAKE_SOURCE_DIR}/web/tidewater.webmanifest)
set(WEB_SITE_FILES ${WEB_PAGE_FILES} $<TARGET_FILE_DIR:tidewater>/tidewater.js
    $<TARGET_FILE_DIR:tidewater>/tidewater.wasm ${HOST_DATAFILE} ${CMAKE_BINARY_DIR}/poster.png ${WEB_ICONS})
string(REPLACE ";" "|" WEB_SITE_FILES "${WEB_SITE_FILES}")
add_custom_target(site ALL
  COMMAND ${CMAKE_COMMAND} -DSITE=${CMAKE_BINARY_DIR}/site -DFILES=${WEB_SITE_FILES}
          -DWORKER=${CMAKE_SOURCE_DIR}/web/sw.js -P ${CMAKE_SOURCE_DIR}/web/site.cmake
  DEPENDS tidewater host_datafile ${WEB_PAGE_FILES} ${CMAKE_SOURCE_DIR}/web/sw.js ${CMAKE_SOURCE_DIR}/web/site.cmake
          ${CMAKE_BINARY_DIR}/poster.png ${WEB_ICONS}
  COMMENT "Assembling the page in site/"
  VERBATIM)
