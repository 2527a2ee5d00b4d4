# What each build installs, and the package CPack makes of it (`--target package`): a .deb for
# Linux, a .zip for Windows. The icon files are drawn by tracker-icon and kept in the tree, since
# the Windows build cannot run a tool of its own build.
set(TRACKER_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(CPACK_PACKAGE_NAME tracker-screen)
set(CPACK_PACKAGE_VENDOR "Tracker Screen")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Full-screen demo of a music tracker's main screen, drawn by software")
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # The file's icon and version, for Explorer.
  set(TRACKER_ICON ${TRACKER_PACKAGING}/icons/tracker-screen.ico)
  configure_file(${TRACKER_PACKAGING}/windows/tracker-screen.rc.in ${CMAKE_BINARY_DIR}/tracker-screen.rc @ONLY)
  target_sources(tracker-screen PRIVATE ${CMAKE_BINARY_DIR}/tracker-screen.rc)
  set_property(SOURCE ${CMAKE_BINARY_DIR}/tracker-screen.rc APPEND PROPERTY OBJECT_DEPENDS ${TRACKER_ICON})

  # Notepad on older Windows shows a text file right only with CR LF line ends.
  configure_file(${TRACKER_PACKAGING}/windows/HOW-TO-RUN.txt.in ${CMAKE_BINARY_DIR}/HOW-TO-RUN.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS tracker-screen RUNTIME DESTINATION .)
  install(FILES ${CMAKE_BINARY_DIR}/HOW-TO-RUN.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-windows-x86)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  include(CPack)
elseif(NOT EMSCRIPTEN)
  install(TARGETS tracker-screen tracker-render RUNTIME DESTINATION bin)
  install(FILES ${TRACKER_PACKAGING}/linux/tracker-screen.desktop DESTINATION share/applications)
  foreach(size 16 32 48 64 128 256)
    install(FILES ${TRACKER_PACKAGING}/icons/tracker-screen-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME tracker-screen.png)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/tracker-screen)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tracker Screen team <tracker-screen@example.org>")
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  # The control file's long description, after the summary line.
  set(CPACK_PACKAGE_DESCRIPTION "A control panel with buttons and list boxes, eight oscilloscope views and a
scrolling pattern of note text, rendered pixel by pixel into a 640 x 480 frame
and shown full screen. Space shows the frame rate, Escape quits.
tracker-render draws the same frames without a display, as PNG, raw words or an
animated GIF.")
  # The libraries the binaries really link, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # SDL 2.26 (Debian 12) opens no Wayland window without OpenGL's libraries, EGL and a driver,
  # though the program draws every pixel itself; desktops have them, a minimal system gets them.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1, libegl1, libegl-mesa0, libgl1-mesa-dri")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  include(CPack)
endif()
