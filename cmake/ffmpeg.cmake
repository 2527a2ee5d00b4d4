# FFmpeg's libraries for tracker-render's videos, as the imported target PkgConfig::TRACKER_FFMPEG
# when they are found. Cross-building, only the target architecture's package configurations
# count: the native ones would name the native libraries.
find_package(PkgConfig REQUIRED)
if(CMAKE_CROSSCOMPILING AND CMAKE_LIBRARY_ARCHITECTURE)
  # For this search only: the other packages are found as before.
  set(tracker_pkg_config_libdir "$ENV{PKG_CONFIG_LIBDIR}")
  set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/pkgconfig:/usr/share/pkgconfig")
  pkg_check_modules(TRACKER_FFMPEG IMPORTED_TARGET libavformat libavcodec libswscale libavutil)
  if(tracker_pkg_config_libdir STREQUAL "")
    unset(ENV{PKG_CONFIG_LIBDIR})
  else()
    set(ENV{PKG_CONFIG_LIBDIR} "${tracker_pkg_config_libdir}")
  endif()
else()
  pkg_check_modules(TRACKER_FFMPEG IMPORTED_TARGET libavformat libavcodec libswscale libavutil)
endif()
if(NOT TRACKER_FFMPEG_FOUND)
  message(STATUS "FFmpeg's libavformat, libavcodec and libswscale not found: tracker-render is built "
                 "without video (Debian packages libavformat-dev, libavcodec-dev, libswscale-dev)")
endif()
