# Cross build for Windows with Debian's MinGW-w64; the toolchain file of each width sets
# CMAKE_SYSTEM_PROCESSOR and TRACKER_MINGW_PREFIX first, then includes this.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TRACKER_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TRACKER_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${TRACKER_MINGW_PREFIX}-windres)

# Headers and libraries come from the MinGW-w64 tree only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TRACKER_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
