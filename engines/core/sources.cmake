# The engine core: signature databases, the matcher, PE and ZIP readers.
# These files never include windows.h; the engine programs and the host build
# (engines/host) compile the very same sources.
set(QDX_CORE_SOURCES
  automaton.cpp
  body_pattern.cpp
  categories.cpp
  container.cpp
  database.cpp
  file_scan.cpp
  hash_common.cpp
  image_check.cpp
  inflate_stream.cpp
  logical.cpp
  object_scan.cpp
  offset.cpp
  own_definitions.cpp
  pe.cpp
  printable.cpp
  signature_image.cpp
  signature_store.cpp
  zip.cpp
)
list(TRANSFORM QDX_CORE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
# Portable files of the engines' own library that the programs use (the
# core needs none of them): reading our own definitions file.
set(QDX_CORE_LIB_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/../lib/definitions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../lib/lines.cpp
)
