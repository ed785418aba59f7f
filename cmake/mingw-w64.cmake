# Cross build of the Windows programs with mingw-w64, shared by the two architectures' tool-chain
# files, which set KORVEL_MINGW_TRIPLE, KORVEL_MINGW_PROCESSOR and KORVEL_WINE_LOADER first.
# The -posix thread model is the one that has std::thread and std::mutex (GoogleTest needs
# them too).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KORVEL_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${KORVEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVEL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under wine; scripts/test sets up the prefix and the display.
find_program(KORVEL_WINE NAMES ${KORVEL_WINE_LOADER} PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT KORVEL_WINE)
    find_program(KORVEL_WINE NAMES ${KORVEL_WINE_LOADER} wine)
endif()
if(KORVEL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVEL_WINE})
endif()
