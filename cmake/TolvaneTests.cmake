# How the unit tests run: natively through ctest, or as a Windows program
# under Wine with a prefix inside the build directory.
if(WIN32)
  set(TOLVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  # The x86 build runs in a 32-bit prefix, as on a 32-bit system: msiexec,
  # reg and cmd are 32-bit programs there and the registry has one view.
  # The x64 build runs Wine's 64-bit loader: the "wine" command starts the
  # 32-bit one whenever 32-bit Wine is installed, and its reg and cmd would
  # then see the 32-bit view of HKCR\CLSID, not what tolvane.dll wrote.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(TOLVANE_WINEARCH win32)
    find_program(TOLVANE_WINE NAMES wine)
    set(TOLVANE_WINELOADER_ENV)
  else()
    set(TOLVANE_WINEARCH win64)
    find_program(TOLVANE_WINE NAMES wine64 wine PATHS /usr/lib/wine)
    set(TOLVANE_WINELOADER_ENV WINELOADER=${TOLVANE_WINE})
  endif()
  # No display is needed (or used, even when one is set), nor the .NET and
  # HTML runtimes a new prefix would offer to install; Korean as the locale
  # gives the ANSI code page 949 that the registrar scripts are written in,
  # as on the systems the library is installed on.
  set(TOLVANE_WINE_ENV ${CMAKE_COMMAND} -E env --unset=DISPLAY WINEPREFIX=${TOLVANE_WINEPREFIX}
      WINEARCH=${TOLVANE_WINEARCH} ${TOLVANE_WINELOADER_ENV} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
      LC_ALL=ko_KR.UTF-8)

  # The prefix is made anew, before any test runs a Windows program: one
  # left by an earlier Wine installation (a 64-bit one made before 32-bit
  # Wine was installed cannot load kernel32.dll) is not reused.
  add_test(NAME wineprefix_init
           COMMAND sh -c "rm -rf \"$1\" && shift && exec \"$@\"" sh ${TOLVANE_WINEPREFIX}
                   ${TOLVANE_WINE_ENV} ${TOLVANE_WINE} wineboot --init)
  set_tests_properties(wineprefix_init PROPERTIES TIMEOUT 300 FIXTURES_SETUP wineprefix)

  add_test(NAME tolvane_tests_wine COMMAND ${TOLVANE_WINE_ENV} ${TOLVANE_WINE}
           $<TARGET_FILE:tolvane_tests>)
  set_tests_properties(tolvane_tests_wine PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED wineprefix)

  # tolvane.exe and tolvane.dll against Wine's registry; the library's keys
  # are compared byte for byte with the hive the portable command writes,
  # when TOLVANE_PORTABLE_COMMAND names that command (a native build's
  # cli/tolvane).
  set(TOLVANE_PORTABLE_COMMAND "" CACHE FILEPATH
      "the portable build's tolvane command, for the Wine end-to-end comparison")
  find_program(TOLVANE_PYTHON NAMES python3)
  if(TOLVANE_PYTHON AND TARGET tolvane_cli)
    add_test(NAME wine_end_to_end
             COMMAND ${TOLVANE_WINE_ENV} ${TOLVANE_PYTHON}
                     ${PROJECT_SOURCE_DIR}/tests/wine_end_to_end.py ${TOLVANE_WINE}
                     $<TARGET_FILE:tolvane_cli> $<TARGET_FILE:call_exports>
                     ${TOLVANE_PORTABLE_COMMAND})
    set_tests_properties(wine_end_to_end PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED wineprefix)
  endif()

  # The custom actions of the real library under Wine's msiexec, with the
  # Korean failure message photographed on an Xvfb display of its own.
  find_program(TOLVANE_WIXL wixl)
  find_program(TOLVANE_XVFB Xvfb)
  find_program(TOLVANE_XDOTOOL xdotool)
  find_program(TOLVANE_IMPORT import)
  if(TOLVANE_PYTHON AND TOLVANE_WIXL AND TOLVANE_XVFB AND TOLVANE_XDOTOOL AND TOLVANE_IMPORT
     AND TARGET tolvane_cli)
    add_test(NAME wine_custom_actions
             COMMAND ${TOLVANE_WINE_ENV} ${TOLVANE_PYTHON}
                     ${PROJECT_SOURCE_DIR}/tests/wine_custom_actions.py ${TOLVANE_WINE}
                     $<TARGET_FILE:tolvane> $<TARGET_FILE:grafo_chart_module>
                     ${PROJECT_SOURCE_DIR}/tests/data/msi/custom_actions.wxs
                     ${CMAKE_BINARY_DIR}/msi-test $<TARGET_FILE:tolvane_cli>)
    set_tests_properties(wine_custom_actions PROPERTIES TIMEOUT 400 FIXTURES_REQUIRED wineprefix)
  else()
    message(STATUS "wine_custom_actions needs wixl, Xvfb, xdotool and ImageMagick's import")
  endif()

  # msi.dll is imported by ordinal only.
  add_test(NAME tolvane_msi_imports
           COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-custom-actions.sh ${CMAKE_OBJDUMP}
                   $<TARGET_FILE:tolvane>)

  # The library exports exactly the names of its .def file, undecorated.
  add_test(NAME tolvane_exports
           COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-exports.sh ${CMAKE_OBJDUMP}
                   $<TARGET_FILE:tolvane> ${PROJECT_SOURCE_DIR}/platform/win32/tolvane.def)
  add_test(NAME tolvane_probe_exports
           COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-exports.sh ${CMAKE_OBJDUMP}
                   $<TARGET_FILE:tolvane_probe> ${PROJECT_SOURCE_DIR}/probe/tolvane-probe.def)
else()
  # Every unit test is its own ctest entry, named Suite.Test (and a value-
  # parameterised one by its case's name, without gtest's dump of the value).
  include(GoogleTest)
  gtest_discover_tests(tolvane_tests DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)

  # The manual page and bash completion written from the command's own
  # description: the page is clean roff, the completion answers as bash asks.
  if(TARGET tolvane_docs_files)
    find_program(TOLVANE_GROFF groff)
    if(TOLVANE_GROFF)
      add_test(NAME manual_page_is_clean_roff
               COMMAND sh -c "! ${TOLVANE_GROFF} -man -ww -z \"$1\" 2>&1 | grep ." sh
                       ${CMAKE_BINARY_DIR}/cli/tolvane.1)
    endif()
    add_test(NAME bash_completion_offers_commands_groups_and_options
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/bash_completion_test.sh
                     ${CMAKE_BINARY_DIR}/cli/tolvane.bash-completion)

    # cmake --install into a scratch prefix (the command and its pages
    # included), and a project outside the tree built against it with
    # find_package and with pkg-config.
    set(tolvane_consumer_flags "")
    if(TOLVANE_SANITIZE)
      set(tolvane_consumer_flags "-fsanitize=address,undefined")
    endif()
    add_test(NAME install_tree_serves_find_package_and_pkg_config
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install_tree_test.sh ${CMAKE_BINARY_DIR}
                     ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/install-tree-test
                     "${tolvane_consumer_flags}")
    set_tests_properties(install_tree_serves_find_package_and_pkg_config PROPERTIES TIMEOUT 300)
  endif()
endif()

# The association dialog of tolvane.dll on a private Xvfb display, driven
# with xdotool; English and Korean screenshots are kept in assoc-dialog/.
if(WIN32 AND TOLVANE_PYTHON)
  find_program(TOLVANE_XVFB NAMES Xvfb)
  find_program(TOLVANE_XDOTOOL NAMES xdotool)
  find_program(TOLVANE_IMPORT NAMES import)
  if(TOLVANE_WINE AND TOLVANE_XVFB AND TOLVANE_XDOTOOL AND TOLVANE_IMPORT)
    add_test(NAME wine_assoc_dialog
             COMMAND ${TOLVANE_PYTHON} ${PROJECT_SOURCE_DIR}/tests/wine_assoc_dialog.py
                     ${TOLVANE_WINE} $<TARGET_FILE:assoc_dialog_driver>
                     ${CMAKE_BINARY_DIR}/assoc-dialog)
    set_tests_properties(wine_assoc_dialog PROPERTIES TIMEOUT 300)
  endif()
endif()
