# The updater's portable logic: signatures, containers, patches, settings and
# the rules for the mirrors. Built into qdxupdate.exe and, for the unit tests
# and fuzz targets, for the host (engines/host).
set(QDX_UPDATE_CORE_SOURCES
  bignum.cpp
  certificate.cpp
  cld_writer.cpp
  container_check.cpp
  der.cpp
  lock_holder.cpp
  detached_signature.cpp
  digests.cpp
  member_set.cpp
  patch.cpp
  policy.cpp
  published_versions.cpp
  settings.cpp
  signature.cpp
  signed_data.cpp
  update_decisions.cpp
)
list(TRANSFORM QDX_UPDATE_CORE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
