# Writes the C++ table of the registrar scripts that the portable library
# carries inside itself: one char array per script holding the exact bytes of
# SCRIPT_DIR/<id>.rgs (CR LF, code page 949 text and all), and
# EmbeddedRegistryResources() answering them ordered by id.
#
# Run as: cmake -DSCRIPT_DIR=<dir> -DOUTPUT=<file.cc> -P EmbedScripts.cmake
cmake_minimum_required(VERSION 3.20)

if(NOT SCRIPT_DIR OR NOT OUTPUT)
  message(FATAL_ERROR "EmbedScripts: SCRIPT_DIR and OUTPUT are required")
endif()

get_filename_component(SCRIPT_DIR ${SCRIPT_DIR} ABSOLUTE)
file(GLOB script_files RELATIVE ${SCRIPT_DIR} ${SCRIPT_DIR}/*.rgs)
if(NOT script_files)
  message(FATAL_ERROR "EmbedScripts: no .rgs files in ${SCRIPT_DIR}")
endif()
list(SORT script_files COMPARE NATURAL)

set(arrays "")
set(entries "")
set(checks "")
set(seen_ids "")
foreach(name IN LISTS script_files)
  # The file name is the resource id: a 16-bit integer without leading zeros.
  if(NOT name MATCHES "^([1-9][0-9]*)\\.rgs$")
    message(FATAL_ERROR "EmbedScripts: ${name} is not named <id>.rgs")
  endif()
  set(id ${CMAKE_MATCH_1})
  if(id GREATER 65535)
    message(FATAL_ERROR "EmbedScripts: id ${id} of ${name} does not fit 16 bits")
  endif()
  if(id IN_LIST seen_ids)
    message(FATAL_ERROR "EmbedScripts: id ${id} occurs twice")
  endif()
  list(APPEND seen_ids ${id})

  file(READ ${SCRIPT_DIR}/${name} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  if(size EQUAL 0)
    message(FATAL_ERROR "EmbedScripts: ${name} is empty")
  endif()

  # Every byte as a \xHH escape, sixteen bytes to a line. An escape is always
  # followed by another backslash or by the closing quote, so no escape can
  # swallow the digits of the next byte.
  set(lines "")
  set(offset 0)
  while(offset LESS hex_length)
    string(SUBSTRING "${hex}" ${offset} 32 chunk)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" chunk "${chunk}")
    string(APPEND lines "\n    \"${chunk}\"")
    math(EXPR offset "${offset} + 32")
  endwhile()

  string(APPEND arrays "// ${name}\nconstexpr char kScript${id}[] =${lines};\n\n")
  string(APPEND checks "static_assert(sizeof(kScript${id}) == ${size} + 1);\n")
  string(APPEND entries "    {${id}, std::string_view(kScript${id}, ${size})},\n")
endforeach()

set(content "// Generated at build time by cmake/EmbedScripts.cmake from script/scripts/*.rgs.
// Do not edit: change the .rgs files instead.
#include \"platform/portable/embedded_resources.h\"

namespace tolvane {
namespace {

${arrays}${checks}
constexpr EmbeddedResource kEmbeddedResources[] = {
${entries}};

}  // namespace

std::span<const EmbeddedResource> EmbeddedRegistryResources() { return kEmbeddedResources; }

}  // namespace tolvane
")

file(WRITE ${OUTPUT} "${content}")
