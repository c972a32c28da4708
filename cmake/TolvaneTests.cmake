# How the unit tests run: natively through ctest, or as a Windows program
# under Wine with a prefix inside the build directory.
if(WIN32)
  find_program(TOLVANE_WINE NAMES wine wine64)
  set(TOLVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  add_test(NAME tolvane_tests_wine COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${TOLVANE_WINEPREFIX}
           WINEDEBUG=-all ${TOLVANE_WINE} $<TARGET_FILE:tolvane_tests>)
  set_tests_properties(tolvane_tests_wine PROPERTIES TIMEOUT 600)
else()
  include(GoogleTest)
  gtest_discover_tests(tolvane_tests DISCOVERY_TIMEOUT 60)
endif()
