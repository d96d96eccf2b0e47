# 64-bit Windows: the same sources for Wine's 64-bit loader, so that the Windows
# side can be tested on hosts that run no 32-bit x86 code. Never released.
set(MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
