# The native tools a cross build's tests compare against, built from the same source for this
# machine: tracker-render draws the reference frames, tracker-bench-render is timed beside its
# WebAssembly twin. Included by the top-level CMakeLists.txt in cross builds that run tests.
include(ExternalProject)
set(TRACKER_HOST_DIR ${CMAKE_BINARY_DIR}/host)
ExternalProject_Add(tracker-host-tools
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${TRACKER_HOST_DIR}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DTRACKER_TESTS=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target tracker-render tracker-bench-render
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${TRACKER_HOST_DIR}/tracker-render ${TRACKER_HOST_DIR}/bench/tracker-bench-render)
set(TRACKER_HOST_RENDER ${TRACKER_HOST_DIR}/tracker-render)
set(TRACKER_HOST_BENCH ${TRACKER_HOST_DIR}/bench/tracker-bench-render)
