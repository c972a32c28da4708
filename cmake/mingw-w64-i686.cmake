# Cross-compiling for 32-bit Windows with the mingw-w64 compilers of the
# posix thread model (std::thread and friends need it).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOLVANE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
