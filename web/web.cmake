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

# libopenmpt, built from Debian's source with em++ into this tree (once; scripts/web-libopenmpt).
set(OPENMPT_DIR ${CMAKE_BINARY_DIR}/libopenmpt)
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
  -sINVOKE_RUN=0                 # the page calls main once the datafile is in place
  -sEXIT_RUNTIME=0               # main returns while the browser runs the frame loop
  -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=67108864
  -sFORCE_FILESYSTEM=1
  "-sEXPORTED_RUNTIME_METHODS=['callMain','FS','ccall']"
  "-sEXPORTED_FUNCTIONS=['_main','_audiodev_webFill','_webcheck_music','_webcheck_position','_webcheck_rowTimes']")
if(CMAKE_BUILD_TYPE STREQUAL "Release")
  target_link_options(tidewater PRIVATE -O2)
endif()

# The datafile comes from the native build: its generators are host tools, and the browser must
# show exactly the bytes the native program shows.
set(TIDEWATER_HOST_BUILD ${CMAKE_SOURCE_DIR}/build CACHE PATH "Native build tree that makes qx-tdwt.dat")
add_custom_target(host_datafile
  COMMAND ${CMAKE_COMMAND} --build ${TIDEWATER_HOST_BUILD} --target datafile
  COMMENT "Making the datafile in the native build (${TIDEWATER_HOST_BUILD})"
  USES_TERMINAL)

# The site: page, program, worklet and datafile, each beside its gzip copy, and manifest.json.
set(WEB_PAGE_FILES ${CMAKE_SOURCE_DIR}/web/index.html ${CMAKE_SOURCE_DIR}/web/page.js
    ${CMAKE_SOURCE_DIR}/web/audio-worklet.js)
set(WEB_SITE_FILES ${WEB_PAGE_FILES} $<TARGET_FILE_DIR:tidewater>/tidewater.js
    $<TARGET_FILE_DIR:tidewater>/tidewater.wasm ${TIDEWATER_HOST_BUILD}/qx-tdwt.dat)
string(REPLACE ";" "|" WEB_SITE_FILES "${WEB_SITE_FILES}")
add_custom_target(site ALL
  COMMAND ${CMAKE_COMMAND} -DSITE=${CMAKE_BINARY_DIR}/site -DFILES=${WEB_SITE_FILES}
          -P ${CMAKE_SOURCE_DIR}/web/site.cmake
  DEPENDS tidewater host_datafile ${WEB_PAGE_FILES} ${CMAKE_SOURCE_DIR}/web/site.cmake
  COMMENT "Assembling the page in site/"
  VERBATIM)
