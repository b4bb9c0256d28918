# quendix_wine_test(NAME SOURCES... [LIBS ...] [SHARES_WINDOWS_DIR])
# Builds a GoogleTest program for the target and registers it with CTest; CTest
# runs it under Wine (the cross-compiling emulator) with the working directory
# in a scratch folder on C: of the build's prefix, so that names relative to the
# current directory and to the drive root land inside the prefix. Programs that
# touch the Windows directory or the drive root hold one lock, so that two of
# them never run at once.
function(quendix_wine_test name)
  cmake_parse_arguments(arg "SHARES_WINDOWS_DIR" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest_main)
  set(workdir ${WINE_PREFIX}/drive_c/quendix-tests/${name})
  file(MAKE_DIRECTORY ${workdir})
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${workdir})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(arg_SHARES_WINDOWS_DIR)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine_windows_dir)
  endif()
endfunction()
