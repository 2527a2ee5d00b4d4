# Read by CPack as it makes each package: its archives take their file times from
# SOURCE_DATE_EPOCH, which a release sets to the commit's time unless the caller chose one.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND CPACK_TRACKER_SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_TRACKER_SOURCE_DATE_EPOCH}")
endif()
# A zip's member times are local times: the same in every time zone only when that zone is UTC.
set(ENV{TZ} UTC)
