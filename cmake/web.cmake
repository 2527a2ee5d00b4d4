# The WebAssembly build with Debian's emscripten: included by the top-level CMakeLists.txt when
# the emscripten toolchain is in use.

# emcc runs its JavaScript optimiser under node at link time, and that needs Debian's node
# modules (acorn) on NODE_PATH, which a plain shell does not set.
find_path(TRACKER_NODE_MODULES acorn PATHS /usr/share/nodejs /usr/lib/nodejs
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
          DOC "The folder that holds the node modules emcc's JavaScript tools need")
if(NOT TRACKER_NODE_MODULES)
  message(FATAL_ERROR "emcc needs node's acorn module (Debian package node-acorn); scripts/install-deps installs it")
endif()
set(CMAKE_C_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=${TRACKER_NODE_MODULES})
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=${TRACKER_NODE_MODULES})

# Test programs run under node. Its built-in fetch would try to load the .wasm as a URL, so
# it is switched off and emscripten's output reads the file instead.
find_program(TRACKER_NODE NAMES node nodejs REQUIRED NO_CMAKE_FIND_ROOT_PATH)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TRACKER_NODE} --no-experimental-fetch)

# GoogleTest for WebAssembly, built from Debian's source package, since only native libraries
# come prebuilt. No threads: emscripten builds without them here.
function(tracker_web_googletest)
  set(GTEST_SOURCE /usr/src/googletest)
  if(NOT EXISTS ${GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest's source is not in ${GTEST_SOURCE}: install Debian's googletest package")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endfunction()

# WebAssembly's 128-bit vectors, which every browser and node in use run: the scene's fills and
# glyph blends vectorise with them as they do with SSE2 natively (about three times faster).
add_compile_options(-msimd128)
add_link_options(-msimd128)

# Makes `target` the page: TARGET.html from the page template with TARGET.js and TARGET.wasm,
# and beside them what makes it an app: its manifest, icons and service worker.
# ASYNCIFY lets the host's waits (for an event, an animation frame, a dismissed box) block the
# program as the Windows calls do, while the browser's event loop runs on.
function(tracker_web_page target)
  set(out ${CMAKE_CURRENT_BINARY_DIR})
  set(TRACKER_DESCRIPTION "Full-screen demo of a music tracker's main screen, drawn by software")
  # Every file names the release's version, so the page can tell when it meets another's.
  set(shell ${out}/web/page.html)
  set(pre ${out}/web/pre.js)
  configure_file(${TRACKER_WEB_DIR}/page.html ${shell} @ONLY)
  configure_file(${TRACKER_WEB_DIR}/pre.js ${pre} @ONLY)
  configure_file(${TRACKER_WEB_DIR}/manifest.webmanifest ${out}/${target}.webmanifest @ONLY)
  set(files ${target}.js ${target}.wasm ${target}.webmanifest)
  foreach(icon 32 192 512 maskable-512)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/icons/tracker-screen-${icon}.png
                   ${out}/${target}-${icon}.png COPYONLY)
    list(APPEND files ${target}-${icon}.png)
  endforeach()
  set_target_properties(${target} PROPERTIES SUFFIX .html
                        LINK_DEPENDS "${shell};${pre};${TRACKER_WEB_LIBRARY}")
  target_link_options(${target} PRIVATE
    --shell-file ${shell}
    --pre-js ${pre}
    --js-library ${TRACKER_WEB_LIBRARY}
    -sENVIRONMENT=web
    -sFILESYSTEM=0
    # Debian's emcc calls htmlmin wrongly; the page is small and readable as it is.
    -sMINIFY_HTML=0
    -sASYNCIFY
    "-sASYNCIFY_IMPORTS=[web_wait_event,web_wait_frame,web_message_box]")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DTEMPLATE=${TRACKER_WEB_DIR}/service-worker.js -DOUTPUT=${out}/${target}-sw.js
            -DVERSION=${PROJECT_VERSION} -DDIR=${out} -DPAGE=${target}.html "-DFILES=${files}"
            -P ${TRACKER_WEB_DIR}/service_worker.cmake
    VERBATIM)
endfunction()
