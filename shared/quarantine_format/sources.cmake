# The quarantine's one home: the entry format, the rules of whom the store
# trusts and what it holds, read and written by the scanner (engines/lib) and
# the quarantine window (src/quarantine) alike. The portable half also builds
# for the host (host/), with the portable tests and the fuzz target.
set(QUENDIX_QUARANTINE_FORMAT_PORTABLE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/EntryHeader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Payload.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Ownership.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StoreLedger.cpp)
set(QUENDIX_QUARANTINE_FORMAT_WINDOWS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CngDigest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StoreSecurity.cpp)
get_filename_component(QUENDIX_SHARED_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
