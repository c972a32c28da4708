# What `cmake --install` puts where: the libraries, the public headers, the
# tolvane command, and for consumers a CMake package (find_package(tolvane):
# tolvane::tolvane, and tolvane::probe when the build has the probe) and a
# pkg-config file per library. On Linux also the manual page and the bash
# completion; on Windows the .def file beside each import library.
#
# Components: "binaries" (libraries, command, .def, CMake package, pkg-config,
# manual page, completion) and "headers", so that the Windows archive can
# lay out one tree per architecture.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(tolvane_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/tolvane)

# The libraries a consumer links, with the .def file that fixes each one's
# export table on Windows.
set(tolvane_libraries tolvane)
set(tolvane_def_files ${PROJECT_SOURCE_DIR}/platform/win32/tolvane.def)
set_target_properties(tolvane PROPERTIES EXPORT_NAME tolvane)
if(TARGET tolvane_probe)
  list(APPEND tolvane_libraries tolvane_probe)
  list(APPEND tolvane_def_files ${PROJECT_SOURCE_DIR}/probe/tolvane-probe.def)
  set_target_properties(tolvane_probe PROPERTIES EXPORT_NAME probe)
endif()
foreach(library IN LISTS tolvane_libraries)
  target_include_directories(${library} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  if(NOT WIN32)
    set_target_properties(${library} PROPERTIES
      VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  endif()
endforeach()

install(TARGETS ${tolvane_libraries} EXPORT tolvaneTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT binaries
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT binaries NAMELINK_COMPONENT binaries
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT binaries)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tolvane DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT headers FILES_MATCHING PATTERN "*.h")
if(WIN32)
  install(FILES ${tolvane_def_files} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT binaries)
endif()
if(TARGET tolvane_cli)
  install(TARGETS tolvane_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT binaries)
endif()
if(TARGET tolvane_docs_files)
  install(FILES ${PROJECT_BINARY_DIR}/cli/tolvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT binaries)
  install(FILES ${PROJECT_BINARY_DIR}/cli/tolvane.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tolvane
          COMPONENT binaries)
endif()

# The CMake package.
install(EXPORT tolvaneTargets NAMESPACE tolvane:: DESTINATION ${tolvane_cmake_dir}
  COMPONENT binaries)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/tolvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/tolvaneConfig.cmake INSTALL_DESTINATION ${tolvane_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tolvaneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tolvaneConfig.cmake
              ${PROJECT_BINARY_DIR}/tolvaneConfigVersion.cmake
        DESTINATION ${tolvane_cmake_dir} COMPONENT binaries)

# One pkg-config file per library. The prefix is found from the file's own
# place, so an install tree moved elsewhere (or installed with --prefix)
# still works.
set(tolvane_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH tolvane_pc_to_prefix /${tolvane_pc_dir} /)
string(REGEX REPLACE "/$" "" tolvane_pc_to_prefix "${tolvane_pc_to_prefix}")
foreach(library IN LISTS tolvane_libraries)
  get_target_property(pc_output ${library} OUTPUT_NAME)
  if(NOT pc_output)
    set(pc_output ${library})
  endif()
  string(REPLACE "_" "-" pc_name ${library})
  if(library STREQUAL "tolvane")
    set(pc_description "Installer-support library: registers the suite's registry entries and file associations")
  else()
    set(pc_description "Installer probe: whether the calling user holds the local Administrators group")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tolvane.pc.in ${PROJECT_BINARY_DIR}/${pc_name}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc_name}.pc DESTINATION ${tolvane_pc_dir} COMPONENT binaries)
endforeach()
