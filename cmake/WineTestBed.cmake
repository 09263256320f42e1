# The test bed: programs of this build run under Wine, in a private prefix in
# the build tree with real windows (null graphics driver) and drives of every
# kind Wine can give; 64-bit programs under 64-bit Wine in a 64-bit prefix;
# arm64 programs under Debian's arm64 Wine, which runs in an arm64 Debian root
# through qemu-user (tools/arm64/: the root and the runtime live in the cache
# folder that the toolchain names).
set(ZIBWIN32_WINE_TOOLS ${PROJECT_SOURCE_DIR}/tools/wine)
set(ZIBWIN32_WINESERVER wineserver)
if(ZIBWIN32_ARCH STREQUAL "arm64")
  set(ZIBWIN32_WINEARCH win64)
  foreach(program wine64 wineserver)
    file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/arm64-${program} @ONLY CONTENT "#!/bin/sh
exec ${PROJECT_SOURCE_DIR}/tools/arm64/in-root.sh \
  ${ZIBWIN32_ARM64_CACHE}/root ${PROJECT_SOURCE_DIR} /usr/lib/wine/${program} \"$@\"
")
    file(CHMOD ${CMAKE_BINARY_DIR}/arm64-${program} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
  set(ZIBWIN32_WINE ${CMAKE_BINARY_DIR}/arm64-wine64)
  set(ZIBWIN32_WINESERVER ${CMAKE_BINARY_DIR}/arm64-wineserver)
  set(ZIBWIN32_PREFIX_NAME arm64)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZIBWIN32_WINE /usr/lib/wine/wine64)
  set(ZIBWIN32_WINEARCH win64)
  set(ZIBWIN32_PREFIX_NAME win64)
else()
  set(ZIBWIN32_WINE wine)
  set(ZIBWIN32_WINEARCH win32)
  set(ZIBWIN32_PREFIX_NAME win32)
endif()
# The builds of one architecture in build/ share a prefix: a prefix is the
# same for every build, and it is hundreds of megabytes that take a while to
# write. Their tests must then run one build after the other. A prefix's
# programs and its wineserver run on one CPU, the prefix's own: under Wine
# most platform calls are round trips to the server, and a round trip between
# two cores costs several times one on the same core. The 32-bit prefix and
# the arm64 one (of arm64 Wine, a prefix of its own) take the first CPU, the
# 64-bit one the second: on a machine that runs no 32-bit programs the arm64
# tests, which qemu makes the longest, have the first to themselves.
cmake_host_system_information(RESULT ZIBWIN32_CPUS QUERY NUMBER_OF_LOGICAL_CORES)
set(ZIBWIN32_CPU 0)
if(ZIBWIN32_PREFIX_NAME STREQUAL "win64" AND ZIBWIN32_CPUS GREATER 1)
  set(ZIBWIN32_CPU 1)
endif()
get_filename_component(ZIBWIN32_BUILD_TREE ${CMAKE_BINARY_DIR} DIRECTORY)
if(ZIBWIN32_BUILD_TREE STREQUAL "${PROJECT_SOURCE_DIR}/build")
  set(ZIBWIN32_WINEPREFIX ${ZIBWIN32_BUILD_TREE}/wineprefix-${ZIBWIN32_PREFIX_NAME})
else()
  set(ZIBWIN32_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
endif()
# Builds that share a prefix must test one after the other: the test command
# groups them by this file.
file(WRITE ${CMAKE_BINARY_DIR}/test-group "${ZIBWIN32_WINEPREFIX}\n")
file(WRITE ${CMAKE_BINARY_DIR}/wine-arch "${ZIBWIN32_WINEARCH}\n")

# wine-prefix makes the prefix, wine-run runs a program of this build in it,
# wine-server starts and stops its server; the last two on the prefix's CPU.
foreach(script wine-prefix wine-run wine-server)
  configure_file(${ZIBWIN32_WINE_TOOLS}/${script}.in ${CMAKE_BINARY_DIR}/${script}
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                  GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
                 @ONLY)
endforeach()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

add_custom_command(
  OUTPUT ${ZIBWIN32_WINEPREFIX}/.ready
  COMMAND ${CMAKE_BINARY_DIR}/wine-prefix
  DEPENDS ${ZIBWIN32_WINE_TOOLS}/make-prefix.sh
  COMMENT "Creating the Wine prefix of the tests")
add_custom_target(wine_prefix ALL DEPENDS ${ZIBWIN32_WINEPREFIX}/.ready)

# Every test that runs a Windows program needs the fixture "wine": the server
# is up, with its services, before the first and stopped after the last.
function(zibwin32_add_wine_fixture)
  add_test(NAME wine.start COMMAND ${CMAKE_BINARY_DIR}/wine-server start)
  add_test(NAME wine.stop COMMAND ${CMAKE_BINARY_DIR}/wine-server stop)
  set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine SKIP_RETURN_CODE 77)
  set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine SKIP_RETURN_CODE 77)
endfunction()

# Where this machine cannot run the prefix's programs (a kernel without 32-bit
# emulation, for a 32-bit prefix), wine-run and wine-server say why and exit
# 77: every test of the directory that runs under Wine is then reported
# skipped, by name, and the checks that need no Wine run as ever.
function(zibwin32_skip_where_wine_cannot_run)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test ${tests})
    get_test_property(${test} FIXTURES_REQUIRED fixtures)
    if("wine" IN_LIST fixtures)
      set_tests_properties(${test} PROPERTIES SKIP_RETURN_CODE 77)
    endif()
  endforeach()
endfunction()

# Programs of the test bed: they run in the test prefix, linked statically,
# so that they need none of the compiler's DLLs. They wait on Wine, not on
# their own code, so they build the quick way: optimised lightly (-Og, where
# the DLL has -O3) and as one translation unit each (a unity build), which
# parses the platform's and GoogleTest's headers once instead of once a file.
function(zibwin32_test_program target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Og)
  target_link_options(${target} PRIVATE -static)
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON)
  add_dependencies(${target} wine_prefix)
endfunction()

# GoogleTest from Debian's source package, built with the cross compiler.
set(ZIBWIN32_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZIBWIN32_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE -Og)
target_compile_options(gtest_main PRIVATE -Og)
