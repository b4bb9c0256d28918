# Writes OUT: the licences of the libraries linked into the programs, for
# the installer and the portable zip to ship beside them. Each library's
# Debian copyright file, under the version it was built from (the archive
# libraries, then zlib and the MinGW-w64 runtime the tool chain links in),
# then the full text of every common licence those files refer to.
# libmspack is LGPL and linked static, which obliges us to hand its licence on.
# Run as: cmake -DPREFIX=<third-party prefix> -DVERSIONS=<third-party/versions>
#               -DOUT=<file> -P third_party_notices.cmake
foreach(var PREFIX VERSIONS OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "third_party_notices.cmake needs -D${var}=")
  endif()
endforeach()

file(STRINGS ${VERSIONS} version_lines REGEX "^[a-z]")
set(notices "Quendix uses these libraries, each under its own licence.\n"
            "Their sources are Debian 12's source packages of the versions named.\n")
set(common_licences "")

function(append_notice title copyright)
  if(NOT EXISTS ${copyright})
    message(FATAL_ERROR "${copyright} is missing")
  endif()
  file(READ ${copyright} text)
  string(APPEND notices "\n========================================================================\n"
                        "${title}\n"
                        "========================================================================\n\n"
                        "${text}")
  string(REGEX MATCHALL "/usr/share/common-licenses/[A-Za-z0-9+.-]*[A-Za-z0-9+]" refs "${text}")
  list(APPEND common_licences ${refs})
  set(notices "${notices}" PARENT_SCOPE)
  set(common_licences "${common_licences}" PARENT_SCOPE)
endfunction()

file(GLOB libraries LIST_DIRECTORIES true RELATIVE ${PREFIX}/share/licenses ${PREFIX}/share/licenses/*)
list(REMOVE_ITEM libraries zlib)
list(SORT libraries)
if(NOT libraries)
  message(FATAL_ERROR "${PREFIX}/share/licenses holds no licences")
endif()
foreach(library IN LISTS libraries)
  set(version "")
  foreach(line IN LISTS version_lines)
    if(line MATCHES "^${library}[ \t]+([^ \t]+)")
      set(version ${CMAKE_MATCH_1})
    endif()
  endforeach()
  if(NOT version)
    message(FATAL_ERROR "${VERSIONS} names no version of ${library}")
  endif()
  append_notice("${library} (source package ${library} ${version})" ${PREFIX}/share/licenses/${library}/copyright)
endforeach()

# What the MinGW-w64 tool chain links into every program, by its Debian package.
foreach(entry "zlib;libz-mingw-w64-dev" "MinGW-w64 runtime and winpthreads;mingw-w64-i686-dev"
              "GCC runtime (libgcc, libstdc++);gcc-mingw-w64-i686-posix-runtime")
  list(GET entry 0 title)
  list(GET entry 1 package)
  execute_process(COMMAND dpkg-query -W -f=\${Version} ${package}
                  OUTPUT_VARIABLE version RESULT_VARIABLE result ERROR_QUIET)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the package ${package} is not installed")
  endif()
  append_notice("${title} (package ${package} ${version})" /usr/share/doc/${package}/copyright)
endforeach()

list(REMOVE_DUPLICATES common_licences)
list(SORT common_licences)
foreach(path IN LISTS common_licences)
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "${path}, which a library's licence refers to, is missing")
  endif()
  get_filename_component(name ${path} NAME)
  file(READ ${path} text)
  string(APPEND notices "\n========================================================================\n"
                        "${name}: the full text of ${path}, named above\n"
                        "========================================================================\n\n"
                        "${text}")
endforeach()
# Written with Windows line ends: the file is read in Notepad.
string(REPLACE "\r\n" "\n" notices "${notices}")
string(REPLACE "\n" "\r\n" notices "${notices}")
file(WRITE ${OUT}.new "${notices}")
file(RENAME ${OUT}.new ${OUT})
