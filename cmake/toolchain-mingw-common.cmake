# The part of the MinGW-w64 cross builds that both architectures share; the
# toolchain file of each sets CMAKE_SYSTEM_PROCESSOR and TARVEX_MINGW_PREFIX
# first. The posix thread model: GoogleTest needs std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TARVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVEX_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TARVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(TARVEX_OBJDUMP ${TARVEX_MINGW_PREFIX}-objdump)
