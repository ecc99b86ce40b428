# MinGW-w64 cross build for 32-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR X86)
set(TARVEX_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
