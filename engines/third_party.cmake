# The archive libraries, built static for this target from Debian's source
# packages by third-party/build.sh (versions in third-party/versions).
# scripts/setup.sh runs it before configuring; a configure of the default
# prefix runs it too, which does nothing when its stamps are current.
set(QDX_THIRD_PARTY_DEFAULT ${CMAKE_BINARY_DIR}/third-party/i686-w64-mingw32)
set(QDX_THIRD_PARTY_PREFIX ${QDX_THIRD_PARTY_DEFAULT} CACHE PATH
    "Prefix of the static libraries third-party/build.sh builds")
set(third_party_recipe ${PROJECT_SOURCE_DIR}/third-party/build.sh ${PROJECT_SOURCE_DIR}/third-party/versions)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${third_party_recipe})
if(QDX_THIRD_PARTY_PREFIX STREQUAL QDX_THIRD_PARTY_DEFAULT)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/third-party/build.sh ${CMAKE_BINARY_DIR}
                  RESULT_VARIABLE third_party_result)
  if(NOT third_party_result EQUAL 0)
    message(FATAL_ERROR "third-party/build.sh failed (${third_party_result})")
  endif()
endif()

function(qdx_third_party_library name file)
  set(path ${QDX_THIRD_PARTY_PREFIX}/lib/${file})
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "${path} is missing: run third-party/build.sh ${CMAKE_BINARY_DIR}")
  endif()
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${path}
                        INTERFACE_INCLUDE_DIRECTORIES ${QDX_THIRD_PARTY_PREFIX}/include)
endfunction()

qdx_third_party_library(qdx::bzip2 libbz2.a)
qdx_third_party_library(qdx::lzma liblzma.a)
set_target_properties(qdx::lzma PROPERTIES INTERFACE_COMPILE_DEFINITIONS LZMA_API_STATIC)
qdx_third_party_library(qdx::zstd libzstd.a)
qdx_third_party_library(qdx::xml2 libxml2.a)
set_target_properties(qdx::xml2 PROPERTIES INTERFACE_COMPILE_DEFINITIONS LIBXML_STATIC
  INTERFACE_INCLUDE_DIRECTORIES ${QDX_THIRD_PARTY_PREFIX}/include/libxml2
  INTERFACE_LINK_LIBRARIES ws2_32)
qdx_third_party_library(qdx::archive libarchive.a)
set_target_properties(qdx::archive PROPERTIES INTERFACE_COMPILE_DEFINITIONS LIBARCHIVE_STATIC
  INTERFACE_LINK_LIBRARIES "qdx::xml2;qdx::lzma;qdx::zstd;qdx::bzip2;ZLIB::ZLIB;advapi32")
qdx_third_party_library(qdx::mspack libmspack.a)
# libmspack is built with large-file support: its mspack_system passes off_t,
# which every caller must see as 64 bits too.
set_target_properties(qdx::mspack PROPERTIES INTERFACE_COMPILE_DEFINITIONS _FILE_OFFSET_BITS=64)
