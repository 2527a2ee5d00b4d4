# What each build installs, and the package CPack makes of it (`--target package`): a .deb for
# Linux, a .zip for Windows. The icon files are drawn by tracker-icon and kept in the tree, since
# the Windows build cannot run a tool of its own build.
set(TRACKER_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(CPACK_PACKAGE_NAME tracker-screen)
set(CPACK_PACKAGE_VENDOR "Tracker Screen")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Full-screen demo of a music tracker's main screen, drawn by software")
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_STRIP_FILES ON)
# Every archive's file times are the commit's, so the same commit makes the same bytes.
set(CPACK_TRACKER_SOURCE_DATE_EPOCH "${TRACKER_SOURCE_DATE_EPOCH}")
set(CPACK_PROJECT_CONFIG_FILE ${TRACKER_PACKAGING}/cpack_project.cmake)

if(WIN32)
  # Each width is its own package, named as users pick it: x64 for 64-bit Windows, x86 for any.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TRACKER_WINDOWS_ARCH x64)
    set(TRACKER_WINDOWS_WHICH "This is the program for 64-bit Windows. On 32-bit Windows take the windows-x86 zip.")
  else()
    set(TRACKER_WINDOWS_ARCH x86)
    set(TRACKER_WINDOWS_WHICH "This is the program for 32-bit Windows; it runs on 64-bit Windows too.")
  endif()
  # The file's icon and version, for Explorer, and the manifest that tells Windows how to treat it.
  set(TRACKER_ICON ${TRACKER_PACKAGING}/icons/tracker-screen.ico)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TRACKER_MANIFEST_ARCH amd64)
  else()
    set(TRACKER_MANIFEST_ARCH x86)
  endif()
  set(TRACKER_MANIFEST ${CMAKE_BINARY_DIR}/tracker-screen.manifest)
  configure_file(${TRACKER_PACKAGING}/windows/tracker-screen.manifest.in ${TRACKER_MANIFEST} @ONLY)
  configure_file(${TRACKER_PACKAGING}/windows/tracker-screen.rc.in ${CMAKE_BINARY_DIR}/tracker-screen.rc @ONLY)
  target_sources(tracker-screen PRIVATE ${CMAKE_BINARY_DIR}/tracker-screen.rc)
  set_property(SOURCE ${CMAKE_BINARY_DIR}/tracker-screen.rc APPEND PROPERTY OBJECT_DEPENDS
               ${TRACKER_ICON} ${TRACKER_MANIFEST})

  # Notepad on older Windows shows a text file right only with CR LF line ends.
  configure_file(${TRACKER_PACKAGING}/windows/HOW-TO-RUN.txt.in ${CMAKE_BINARY_DIR}/HOW-TO-RUN.txt
                 @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS tracker-screen RUNTIME DESTINATION .)
  install(FILES ${CMAKE_BINARY_DIR}/HOW-TO-RUN.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-windows-${TRACKER_WINDOWS_ARCH})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  include(CPack)
elseif(NOT EMSCRIPTEN)
  install(TARGETS tracker-screen tracker-render RUNTIME DESTINATION bin)
  if(TARGET tracker-render-video)
    # Read by the loader, never run: without the executable bits, as Debian installs libraries.
    install(TARGETS tracker-render-video LIBRARY DESTINATION ${TRACKER_VIDEO_MODULE_DIR}
            PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
  install(FILES ${TRACKER_PACKAGING}/linux/tracker-screen.desktop DESTINATION share/applications)
  foreach(size 16 32 48 64 128 256)
    install(FILES ${TRACKER_PACKAGING}/icons/tracker-screen-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME tracker-screen.png)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/tracker-screen)
  # What Debian asks of every package: the license as a machine-readable copyright file, the
  # changelog and the manual pages, the last two compressed as the policy says (gzip -9n, no
  # name or time inside, so they are the same bytes on every build).
  set(TRACKER_DEB_REVISION 1)
  set(TRACKER_DEB_VERSION ${PROJECT_VERSION}-${TRACKER_DEB_REVISION})
  set(TRACKER_DOCS ${CMAKE_BINARY_DIR}/packaging)
  configure_file(${TRACKER_PACKAGING}/linux/changelog.in ${TRACKER_DOCS}/changelog.Debian @ONLY)
  configure_file(${TRACKER_PACKAGING}/linux/tracker-screen.6 ${TRACKER_DOCS}/tracker-screen.6 @ONLY)
  configure_file(${TRACKER_PACKAGING}/linux/tracker-render.1 ${TRACKER_DOCS}/tracker-render.1 @ONLY)
  set(TRACKER_GZIPPED)
  foreach(doc changelog.Debian tracker-screen.6 tracker-render.1)
    add_custom_command(OUTPUT ${TRACKER_DOCS}/${doc}.gz
                       COMMAND gzip -9n -c ${TRACKER_DOCS}/${doc} > ${TRACKER_DOCS}/${doc}.gz
                       DEPENDS ${TRACKER_DOCS}/${doc} VERBATIM)
    list(APPEND TRACKER_GZIPPED ${TRACKER_DOCS}/${doc}.gz)
  endforeach()
  add_custom_target(tracker-package-docs ALL DEPENDS ${TRACKER_GZIPPED})
  install(FILES ${TRACKER_PACKAGING}/linux/copyright ${TRACKER_DOCS}/changelog.Debian.gz
          DESTINATION share/doc/tracker-screen)
  install(FILES ${TRACKER_PACKAGING}/linux/lintian-overrides DESTINATION share/lintian/overrides
          RENAME tracker-screen)
  install(FILES ${TRACKER_DOCS}/tracker-screen.6.gz DESTINATION share/man/man6)
  install(FILES ${TRACKER_DOCS}/tracker-render.1.gz DESTINATION share/man/man1)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX ${TRACKER_INSTALL_PREFIX})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${TRACKER_DEB_REVISION})
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tracker Screen team <tracker-screen@example.org>")
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  # The control file's long description, after the summary line.
  set(CPACK_PACKAGE_DESCRIPTION "A control panel with buttons and list boxes, eight oscilloscope views and a
scrolling pattern of note text, rendered pixel by pixel into a 640 x 480 frame
and shown full screen. Space shows the frame rate, Escape quits.
tracker-render draws the same frames without a display, as PNG, raw words, an
animated GIF or, with the FFmpeg libraries the package recommends, a video.")
  # The libraries the binaries really link, as dpkg-shlibdeps finds them in the staged files:
  # the programs' are Depends, the video module's only Recommends (packaging/deb_depends.cmake).
  # CPack's own run would make every binary's libraries Depends.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_PRE_BUILD_SCRIPTS ${TRACKER_PACKAGING}/deb_depends.cmake)
  set(CPACK_TRACKER_DEB_PROGRAMS bin/tracker-screen bin/tracker-render)
  set(CPACK_TRACKER_DEB_MODULES "")
  if(TARGET tracker-render-video)
    set(CPACK_TRACKER_DEB_MODULES ${TRACKER_VIDEO_MODULE_DIR}/tracker-render-video.so)
  endif()
  # A cross build's package is for the architecture it targets, not this machine's, which CPack
  # would name; dpkg-shlibdeps already looks for each binary's libraries in its own architecture.
  if(CMAKE_CROSSCOMPILING)
    execute_process(COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                    OUTPUT_VARIABLE TRACKER_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT TRACKER_DEB_ARCH)
      message(FATAL_ERROR "dpkg-architecture (dpkg-dev) names no Debian architecture for ${CMAKE_LIBRARY_ARCHITECTURE}")
    endif()
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${TRACKER_DEB_ARCH})
  endif()
  # SDL 2.26 (Debian 12) opens no Wayland window without OpenGL's libraries, EGL and a driver,
  # though the program draws every pixel itself; desktops have them, a minimal system gets them.
  set(CPACK_TRACKER_DEB_RECOMMENDS "libgl1, libegl1, libegl-mesa0, libgl1-mesa-dri")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  include(CPack)
endif()
