# quendix_wine_test(NAME SOURCES... [LIBS ...] [SHARES_WINDOWS_DIR]
#                   [TIMEOUT seconds] [TEST_SECONDS seconds])
# Builds a GoogleTest program for the target and registers it with CTest; CTest
# runs it under Wine (the cross-compiling emulator) with the working directory
# in a scratch folder on C: of the build's prefix, so that names relative to the
# current directory and to the drive root land inside the prefix. Programs that
# touch the Windows directory or the drive root hold one lock, so that two of
# them never run at once.
# Each program's main arms a watchdog for every test (TEST_SECONDS, 20 unless
# given): a test that hangs fails at that limit, and a crash fails at once.
# TIMEOUT (120 unless given) bounds the whole program. Both are a few times
# what the slowest test and program take on a busy two-core machine.

# The main every test program shares: tests/main/WatchdogMain.cpp.
if(NOT TARGET quendix_test_main)
  add_library(quendix_test_main STATIC ${CMAKE_CURRENT_LIST_DIR}/../tests/main/WatchdogMain.cpp)
  target_link_libraries(quendix_test_main PUBLIC GTest::gtest)
endif()

function(quendix_wine_test name)
  cmake_parse_arguments(arg "SHARES_WINDOWS_DIR" "TIMEOUT;TEST_SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 120)
  endif()
  if(NOT arg_TEST_SECONDS)
    set(arg_TEST_SECONDS 20)
  endif()
  set_property(GLOBAL APPEND PROPERTY QUENDIX_WINE_TEST_PROGRAMS ${name})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} quendix_test_main)
  set(workdir ${WINE_PREFIX}/drive_c/quendix-tests/${name})
  file(MAKE_DIRECTORY ${workdir})
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${workdir})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${arg_TIMEOUT}
                                          ENVIRONMENT QUENDIX_TEST_SECONDS=${arg_TEST_SECONDS})
  if(arg_SHARES_WINDOWS_DIR)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine_windows_dir)
  endif()
endfunction()

# Called once every test program is known. Their windows are not handed to a
# window manager: without one (Xvfb) Wine waits two seconds for it whenever a
# window is hidden, which made the in-process tests ten times slower. The
# program itself (quendix.exe, also in the end-to-end tests) keeps the
# prefix's defaults.
function(quendix_wine_test_settings)
  get_property(programs GLOBAL PROPERTY QUENDIX_WINE_TEST_PROGRAMS)
  set(reg "REGEDIT4\n")
  foreach(program ${programs})
    string(APPEND reg "\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\${program}.exe\\X11 Driver]\n"
                      "\"Managed\"=\"N\"\n")
  endforeach()
  set(file ${CMAKE_BINARY_DIR}/test-programs.reg)
  file(GENERATE OUTPUT ${file} CONTENT "${reg}")
  set(stamp ${WINE_PREFIX}/test-programs.stamp)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${WINE_PREFIX} WINEARCH=win32 WINEDEBUG=-all
            "WINEDLLOVERRIDES=mscoree,mshtml=" wine reg import Z:${file}
    COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${WINE_PREFIX} wineserver -w
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${file}
    COMMENT "Registering the test programs' window settings in the Wine prefix"
    VERBATIM)
  add_custom_target(wine_test_settings ALL DEPENDS ${stamp})
  add_dependencies(wine_test_settings wineprefix)
endfunction()
