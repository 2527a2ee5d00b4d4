# Wayland protocols beyond the core one, as code that wayland-scanner makes at build time from
# the XML of the system's wayland-protocols (Debian packages wayland-protocols, libwayland-bin).
find_program(TRACKER_WAYLAND_SCANNER wayland-scanner
             DOC "wayland-scanner, which makes the protocols' code (Debian package libwayland-bin)")
if(NOT TRACKER_WAYLAND_SCANNER)
  message(FATAL_ERROR "wayland-scanner not found (Debian package libwayland-bin)")
endif()
# The XML is the same for every architecture; the native pkg-config tells where, even when cross-building.
find_package(PkgConfig REQUIRED)
pkg_get_variable(TRACKER_WAYLAND_PROTOCOLS_PC wayland-protocols pkgdatadir)
find_path(TRACKER_WAYLAND_PROTOCOLS stable/viewporter/viewporter.xml
          HINTS ${TRACKER_WAYLAND_PROTOCOLS_PC} PATHS /usr/share/wayland-protocols NO_CMAKE_FIND_ROOT_PATH
          DOC "the folder of the wayland-protocols XML (Debian package wayland-protocols)")
if(NOT TRACKER_WAYLAND_PROTOCOLS)
  message(FATAL_ERROR "the wayland-protocols XML was not found (Debian package wayland-protocols)")
endif()

# A static library TARGET with each protocol's code and its SIDE (client or server) header,
# named after the XML (viewporter-client-protocol.h), in a folder its users include.
function(tracker_wayland_protocols target side)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target})
  set(sources)
  foreach(xml IN LISTS ARGN)
    get_filename_component(name ${xml} NAME_WE)
    set(input ${TRACKER_WAYLAND_PROTOCOLS}/${xml})
    add_custom_command(OUTPUT ${dir}/${name}-${side}-protocol.h ${dir}/${name}-protocol.c
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
                       COMMAND ${TRACKER_WAYLAND_SCANNER} ${side}-header ${input} ${dir}/${name}-${side}-protocol.h
                       COMMAND ${TRACKER_WAYLAND_SCANNER} private-code ${input} ${dir}/${name}-protocol.c
                       DEPENDS ${input} VERBATIM)
    list(APPEND sources ${dir}/${name}-${side}-protocol.h ${dir}/${name}-protocol.c)
  endforeach()
  add_library(${target} STATIC ${sources})
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
  target_include_directories(${target} PUBLIC ${dir})
endfunction()
