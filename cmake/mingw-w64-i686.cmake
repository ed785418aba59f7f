# The 32-bit Windows build (build/win32-x86): the one that loads a 32-bit VRAXIF32.dll.
set(KORVEL_MINGW_TRIPLE i686-w64-mingw32)
set(KORVEL_MINGW_PROCESSOR i686)
set(KORVEL_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
