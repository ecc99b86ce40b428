# MinGW-w64 cross build for 64-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TARVEX_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
