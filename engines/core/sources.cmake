# The engine core: signature databases, the matcher, the PE reader and the
# readers of archives and compressed files.
# These files never include windows.h; the engine programs and the host build
# (engines/host) compile the very same sources.
set(QDX_CORE_SOURCES
  arj.cpp
  autoit.cpp
  autoit_script.cpp
  automaton.cpp
  binhex.cpp
  body_pattern.cpp
  categories.cpp
  compound_file.cpp
  compressed_file.cpp
  container.cpp
  database.cpp
  decoders.cpp
  deflate64.cpp
  embedded.cpp
  embedded_program.cpp
  file_scan.cpp
  file_type.cpp
  html_entities.cpp
  html_normalise.cpp
  html_views.cpp
  hash_common.cpp
  image_check.cpp
  implode.cpp
  installshield.cpp
  inflate_stream.cpp
  js_normalise.cpp
  libarchive_reader.cpp
  logical.cpp
  lzma_bounds.cpp
  mail.cpp
  mail_decoders.cpp
  mspack_reader.cpp
  nsis.cpp
  nsis_bzip2.cpp
  object_scan.cpp
  offset.cpp
  ole1.cpp
  onenote.cpp
  own_definitions.cpp
  packed_program.cpp
  pdf.cpp
  pdf_contents.cpp
  pdf_crypt.cpp
  pdf_filters.cpp
  pdf_names.cpp
  pdf_syntax.cpp
  pe.cpp
  powerpoint.cpp
  printable.cpp
  rtf.cpp
  script_decode.cpp
  signature_image.cpp
  signature_store.cpp
  text_normalise.cpp
  tnef_file.cpp
  upx.cpp
  vba.cpp
  wwpack.cpp
  xlm.cpp
  xlm_names.cpp
  zip.cpp
  zip_methods.cpp
)
list(TRANSFORM QDX_CORE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
# Portable files of the engines' own library that the programs use (the
# core needs none of them): reading our own definitions file.
set(QDX_CORE_LIB_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/../lib/definitions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../lib/lines.cpp
)
# Every call of the libraries into liblzma's decoder set-up goes through
# lzma_bounds.cpp, which bounds the memory a decoder may take.
# The bounds are asked for by name, so that every program linking the
# libraries gets them (32-bit Windows names C symbols with a leading "_").
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(qdx_c_prefix "_")
else()
  set(qdx_c_prefix "")
endif()
set(QDX_CORE_LINK_OPTIONS
  -Wl,--wrap=lzma_raw_decoder -Wl,--wrap=lzma_stream_decoder
  -Wl,--wrap=lzma_alone_decoder -Wl,--wrap=lzma_auto_decoder
  -Wl,-u,${qdx_c_prefix}__wrap_lzma_raw_decoder)
