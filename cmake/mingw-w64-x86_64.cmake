# The 64-bit Windows build (build/win32).
set(KORVEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(KORVEL_MINGW_PROCESSOR x86_64)
set(KORVEL_WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
