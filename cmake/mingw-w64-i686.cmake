# Cross-build for 32-bit Windows with Debian's mingw-w64; tests run under Wine.
# The module and the base layer use the platform's own locks and events; the host's demultiplexer
# thread, the command-line program and GoogleTest use the C++ threads of the posix thread model,
# whose run time (winpthread) is linked statically like the C and C++ run times.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUENLIX_MINGW_TRIPLET i686-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${QUENLIX_MINGW_TRIPLET}-gcc-posix ${QUENLIX_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QUENLIX_MINGW_TRIPLET}-g++-posix ${QUENLIX_MINGW_TRIPLET}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QUENLIX_MINGW_TRIPLET}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${QUENLIX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine.
find_program(QUENLIX_WINE NAMES wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUENLIX_WINE})
