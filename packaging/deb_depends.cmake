# Run by CPack once the .deb's files are staged: the package's Depends are the libraries of the
# programs, which always run; its Recommends those of the video module, which tracker-render loads
# only for --video, so that the package installs where that FFmpeg is missing (Debian 13 has
# another). dpkg-shlibdeps reads each staged binary for the architecture it was built for.
set(staged "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(binaries "")
foreach(program IN LISTS CPACK_TRACKER_DEB_PROGRAMS)
  list(APPEND binaries "${staged}/${program}")
endforeach()
if(CPACK_TRACKER_DEB_MODULES)
  list(APPEND binaries -dRecommends)
  foreach(module IN LISTS CPACK_TRACKER_DEB_MODULES)
    list(APPEND binaries "${staged}/${module}")
  endforeach()
endif()
# dpkg-shlibdeps wants a source package's control file, which a CPack build has not: an empty one,
# beside the staged files rather than among them.
set(work "${CPACK_TEMPORARY_DIRECTORY}.shlibdeps")
file(REMOVE_RECURSE "${work}")
file(WRITE "${work}/debian/control" "")
# A cross build's libraries are looked for in its own architecture's folders first.
set(host "")
if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  set(host "DEB_HOST_ARCH=${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${host} dpkg-shlibdeps -O ${binaries}
                WORKING_DIRECTORY "${work}" RESULT_VARIABLE status OUTPUT_VARIABLE found ERROR_VARIABLE errors)
file(REMOVE_RECURSE "${work}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dpkg-shlibdeps (dpkg-dev) cannot say what the package needs: ${status} ${errors}")
endif()
string(REGEX MATCH "shlibs:Depends=([^\n]*)" line "${found}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
if(CPACK_DEBIAN_PACKAGE_DEPENDS STREQUAL "")
  message(FATAL_ERROR "dpkg-shlibdeps names no library of the programs: ${found}${errors}")
endif()
set(CMAKE_MATCH_1 "")
string(REGEX MATCH "shlibs:Recommends=([^\n]*)" line "${found}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${CMAKE_MATCH_1}")
if(CPACK_DEBIAN_PACKAGE_RECOMMENDS STREQUAL "")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${CPACK_TRACKER_DEB_RECOMMENDS}")
else()
  string(APPEND CPACK_DEBIAN_PACKAGE_RECOMMENDS ", ${CPACK_TRACKER_DEB_RECOMMENDS}")
endif()
