# Cross-compiling for 64-bit Windows with the mingw-w64 compilers of the
# posix thread model (std::thread and friends need it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOLVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOLVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOLVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TOLVANE_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${TOLVANE_MINGW_TRIPLE}-objdump)

# Libraries and headers come from the cross sysroot only; programs (wine,
# bash) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${TOLVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
