# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64,
# mingw-w64-x86-64-dev).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TRACKER_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
