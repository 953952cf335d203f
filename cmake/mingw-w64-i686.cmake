# Cross build of the 32-bit Windows console program with mingw-w64 (i686), run under wine.
# The executables link the compiler's runtime statically, so each .exe runs on its own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(ORVANE_MINGW_PREFIX i686-w64-mingw32)
# The posix thread model gives the full C++ thread library; it is linked statically too.
set(CMAKE_C_COMPILER ${ORVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and test discovery run the .exe files through wine, with a wine prefix of their own
# under the build tree.
get_filename_component(ORVANE_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run.sh
                       ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVANE_WINE_RUN} ${CMAKE_BINARY_DIR}/wineprefix)
