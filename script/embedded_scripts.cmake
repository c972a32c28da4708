# The registrar scripts, scripts/<id>.rgs, are the exact bytes the library
# carries. The portable build embeds them as a C++ table generated at build
# time; the Windows build compiles them into the library's resource section
# as "REGISTRY" resources under English and Korean (registry_scripts.rc).
file(GLOB tolvane_script_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/scripts/*.rgs)
set(tolvane_embedded_table ${CMAKE_CURRENT_BINARY_DIR}/embedded_resources.cc)
add_custom_command(
  OUTPUT ${tolvane_embedded_table}
  COMMAND ${CMAKE_COMMAND} -DSCRIPT_DIR=${CMAKE_CURRENT_SOURCE_DIR}/scripts
          -DOUTPUT=${tolvane_embedded_table} -P ${PROJECT_SOURCE_DIR}/cmake/EmbedScripts.cmake
  DEPENDS ${tolvane_script_files} ${PROJECT_SOURCE_DIR}/cmake/EmbedScripts.cmake
  COMMENT "Embedding the registrar scripts"
  VERBATIM)
add_library(tolvane_embedded_scripts OBJECT ${tolvane_embedded_table})
target_include_directories(tolvane_embedded_scripts PRIVATE ${PROJECT_SOURCE_DIR})
if(WIN32)
  target_sources(tolvane PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/registry_scripts.rc)
else()
  target_link_libraries(tolvane_core PRIVATE tolvane_embedded_scripts)
endif()

if(TOLVANE_BUILD_TESTS)
  target_sources(tolvane_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/embedded_scripts_test.cc)
  if(WIN32)
    # The Windows library carries the scripts as resources; the tests read
    # the same bytes from the table.
    target_link_libraries(tolvane_tests PRIVATE tolvane_embedded_scripts)
  endif()
endif()
