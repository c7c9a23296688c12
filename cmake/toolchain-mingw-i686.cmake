# 32-bit Windows with MinGW-w64 (the win32 thread model: the module starts no threads, so it carries no thread runtime): builds only pawn.kvx, the DLL a game loads.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(PAWN_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${PAWN_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${PAWN_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${PAWN_MINGW_PREFIX}-windres)
# The binutils lookup does not recognise the "-win32" compiler names, so name the tools outright.
find_program(CMAKE_OBJDUMP ${PAWN_MINGW_PREFIX}-objdump REQUIRED)
find_program(CMAKE_AR ${PAWN_MINGW_PREFIX}-ar REQUIRED)
find_program(CMAKE_RANLIB ${PAWN_MINGW_PREFIX}-ranlib REQUIRED)
find_program(CMAKE_STRIP ${PAWN_MINGW_PREFIX}-strip REQUIRED)

set(PAWN_I686_FLAGS "-msse2 -mfpmath=sse")
set(CMAKE_C_FLAGS_INIT "${PAWN_I686_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${PAWN_I686_FLAGS}")

set(CMAKE_FIND_ROOT_PATH /usr/${PAWN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
