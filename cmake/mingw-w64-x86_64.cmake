# Cross-building for Windows x86-64 on Debian with MinGW-w64 (g++-mingw-w64-x86-64-posix).
# The POSIX-threads flavour, because std::thread and std::mutex need it with this GCC.
# Used for Qt for Windows itself, for its Serial Port module, for libxlsxwriter and
# for the program (scripts/windows-build.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(KALENT_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KALENT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KALENT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KALENT_MINGW_TRIPLET}-windres)

# Libraries and headers only from the MinGW sysroot and the Windows prefix (Qt for
# Windows, libxlsxwriter); the build's tools (moc, rcc, uic) are Debian's own.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KALENT_MINGW_TRIPLET})
if(DEFINED ENV{KALENT_WINDOWS_PREFIX})
    list(APPEND CMAKE_FIND_ROOT_PATH $ENV{KALENT_WINDOWS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
