# Release builds are reproducible: the same commit built twice, in any two
# folders, gives byte-identical libraries, programs and archives.
# - No build folder or source folder path is written into an object file
#   (__FILE__, debug information).
# - A Windows image carries no link time in its headers (mingw-w64's linker
#   writes one by default), so its checksum-free header is the same each time.
# - The ZIP archive's entries carry the commit's time, $SOURCE_DATE_EPOCH
#   (see TolvanePackaging.cmake), not the time of the build.
add_compile_options(
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
  -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
if(WIN32)
  add_link_options(LINKER:--no-insert-timestamp)
endif()
