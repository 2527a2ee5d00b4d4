# What makes the programs fit to ship: the same bytes from the same commit wherever it is built,
# and on Linux the hardening Debian builds its own packages with (dpkg-buildflags' hardening=+all).

# No build folder's path in any object: assertions' file names and debug information name the
# tree's own relative paths. The build folder last, since it usually sits inside the source tree.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
if(WIN32)
  # The PE header's link time would make every build of the same source differ.
  add_link_options(-Wl,--no-insert-timestamp)
endif()

# The packages' file times: SOURCE_DATE_EPOCH as given, else the last commit's time.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(TRACKER_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE TRACKER_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT TRACKER_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(STATUS "packages: no SOURCE_DATE_EPOCH and no git history, so their file times are the build's")
  set(TRACKER_SOURCE_DATE_EPOCH "")
endif()

if(NOT WIN32 AND NOT EMSCRIPTEN)
  # Off for the sanitizer build, whose checks the fortified functions would get in the way of.
  option(TRACKER_HARDENING "Build the Linux programs with stack protection, fortified calls and full RELRO" ON)
  if(TRACKER_HARDENING)
    add_compile_options(-fstack-protector-strong -fstack-clash-protection -Wformat -Werror=format-security)
    # Fortified calls need the optimiser's object sizes; a debug build has none to give. Undefined
    # first, since some distributions' compilers define it already.
    add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
      add_compile_options(-fcf-protection)
    elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
      add_compile_options(-mbranch-protection=standard)
    endif()
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    include(CheckPIESupported)
    check_pie_supported()
    add_link_options(-Wl,-z,relro -Wl,-z,now)
  endif()
endif()
