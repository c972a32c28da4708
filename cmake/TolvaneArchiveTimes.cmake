# Run by cpack after it has staged the files and before it packs them: sets
# every staged file's and folder's time to $SOURCE_DATE_EPOCH (else
# 2000-01-01 00:00 UTC), so the archive does not depend on when it was built.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  set(epoch 946684800)
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
execute_process(COMMAND touch -h -d @${epoch} ${CPACK_TEMPORARY_INSTALL_DIRECTORY} ${staged}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot set the staged files' times")
endif()
