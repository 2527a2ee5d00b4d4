# Writes the page's service worker from its template, after each link of the page: the version,
# the files it keeps, and a digest of them all, so that any change to one makes a new cache.
# cmake -DTEMPLATE=... -DOUTPUT=... -DVERSION=... -DDIR=... -DPAGE=name -DFILES=a;b -P service_worker.cmake
set(digests "")
foreach(file ${PAGE} ${FILES})
  if(NOT EXISTS ${DIR}/${file})
    message(FATAL_ERROR "the service worker would keep ${DIR}/${file}, which the build did not make")
  endif()
  file(SHA256 ${DIR}/${file} digest)
  string(APPEND digests "${file} ${digest}\n")
endforeach()
string(SHA256 TRACKER_WEB_DIGEST "${digests}")
string(SUBSTRING ${TRACKER_WEB_DIGEST} 0 12 TRACKER_WEB_DIGEST)
set(PROJECT_VERSION ${VERSION})
list(TRANSFORM FILES PREPEND "'")
list(TRANSFORM FILES APPEND "'")
list(JOIN FILES ", " TRACKER_WEB_FILES)
# Written beside and moved into place, so a failed run leaves no half-written worker.
configure_file(${TEMPLATE} ${OUTPUT}.part @ONLY)
file(RENAME ${OUTPUT}.part ${OUTPUT})
