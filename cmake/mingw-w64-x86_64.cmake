# Cross-compiling for 64-bit Windows with the mingw-w64 compilers of the
# posix thread model (std::thread and friends need it).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOLVANE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
