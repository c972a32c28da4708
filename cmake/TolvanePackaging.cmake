# The Windows distribution: one ZIP archive (cpack in a Windows build tree)
# holding, for x64 and x86 each, the install tree of that build (tolvane.dll,
# tolvane-probe.dll when built, their import libraries and .def files,
# tolvane.exe, the public headers and the CMake and pkg-config files), and at
# its top the README for installer authors:
#
#   tolvane-<version>-windows/README-installers.md
#   tolvane-<version>-windows/x64/{bin,include,lib}/...
#   tolvane-<version>-windows/x86/{bin,include,lib}/...
#
# The other architecture's build tree is named by TOLVANE_OTHER_ARCH_BUILD;
# without it the archive holds this build's architecture only.
if(NOT WIN32)
  return()
endif()

set(TOLVANE_OTHER_ARCH_BUILD "" CACHE PATH
    "the other Windows architecture's build tree, packed beside this one in the ZIP archive")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(tolvane_arch x64)
  set(tolvane_other_arch x86)
else()
  set(tolvane_arch x86)
  set(tolvane_other_arch x64)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/docs/installer-authors.md DESTINATION .
        RENAME README-installers.md COMPONENT readme)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VENDOR tolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tolvane-${PROJECT_VERSION}-windows)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${PROJECT_BINARY_DIR};tolvane;readme;/"
    "${PROJECT_BINARY_DIR};tolvane;binaries;/${tolvane_arch}"
    "${PROJECT_BINARY_DIR};tolvane;headers;/${tolvane_arch}")
if(TOLVANE_OTHER_ARCH_BUILD)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS
       "${TOLVANE_OTHER_ARCH_BUILD};tolvane;binaries;/${tolvane_other_arch}"
       "${TOLVANE_OTHER_ARCH_BUILD};tolvane;headers;/${tolvane_other_arch}")
endif()
# Every entry gets the same time, the commit's ($SOURCE_DATE_EPOCH when
# cpack runs, else 2000-01-01), whatever time the files were built at.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/TolvaneArchiveTimes.cmake)
include(CPack)
