# Cross-compiling for 32-bit Windows with mingw-w64 (i686).
# The posix thread model is required: the win32 model lacks std::mutex and
# GoogleTest does not compile with it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(PEW_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${PEW_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PEW_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PEW_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${PEW_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${PEW_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# ctest runs the test programs under Wine. The caller (tools/test) provides
# WINEPREFIX, HOME, DISPLAY and a running wineserver.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
