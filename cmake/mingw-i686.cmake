# Toolchain for the 32-bit Windows cross compile with Debian's MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(TOLVEX_MINGW_TRIPLE i686-w64-mingw32)

# The -posix variants ship the C++ thread library that <mutex> and <thread> need;
# the default -win32 variants do not.
set(CMAKE_C_COMPILER ${TOLVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOLVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TOLVEX_MINGW_TRIPLE}-windres)

# Headers and libraries come from the MinGW sysroot only, so that nothing of the
# Linux host (GoogleTest, ngspice) leaks into the Windows build; programs such as
# code generators still come from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${TOLVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
