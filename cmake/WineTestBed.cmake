# The test bed: programs of this build run under Wine, in a private prefix in
# the build tree with real windows (null graphics driver) and drives of every
# kind Wine can give.
set(ZIBWIN32_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(ZIBWIN32_WINE_TOOLS ${PROJECT_SOURCE_DIR}/tools/wine)

# wine-run runs a program of this build; wine-server starts and stops the
# server of its prefix.
foreach(script wine-run wine-server)
  configure_file(${ZIBWIN32_WINE_TOOLS}/${script}.in ${CMAKE_BINARY_DIR}/${script}
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                  GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
                 @ONLY)
endforeach()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

add_custom_command(
  OUTPUT ${ZIBWIN32_WINEPREFIX}/.ready
  COMMAND ${CMAKE_COMMAND} -E env WINE=${ZIBWIN32_WINE} ${ZIBWIN32_WINE_TOOLS}/make-prefix.sh ${ZIBWIN32_WINEPREFIX}
          ${ZIBWIN32_WINEARCH}
  DEPENDS ${ZIBWIN32_WINE_TOOLS}/make-prefix.sh
  COMMENT "Creating the Wine prefix of the tests")
add_custom_target(wine_prefix ALL DEPENDS ${ZIBWIN32_WINEPREFIX}/.ready)

# Every test that runs a Windows program needs the fixture "wine": the server
# is up, with its services, before the first and stopped after the last.
function(zibwin32_add_wine_fixture)
  add_test(NAME wine.start COMMAND ${CMAKE_BINARY_DIR}/wine-server start)
  add_test(NAME wine.stop COMMAND ${CMAKE_BINARY_DIR}/wine-server stop)
  set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)
endfunction()

# GoogleTest from Debian's source package, built with the cross compiler.
set(ZIBWIN32_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZIBWIN32_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
