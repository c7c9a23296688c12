# 32-bit x86 Linux with the host's multilib g++. The kernel here runs no 32-bit programs, so every
# test executable runs under qemu-i386; this is the build that checks the 32-bit record layouts.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)

# SSE2 arithmetic, as on the Windows target, so doubles round the same way in both 32-bit builds
# rather than through the x87 stack's extended precision.
set(PAWN_I686_FLAGS "-m32 -msse2 -mfpmath=sse")
set(CMAKE_C_FLAGS_INIT "${PAWN_I686_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${PAWN_I686_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# pkg-config must not hand out the 64-bit libraries.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/lib32/pkgconfig:/usr/share/pkgconfig")

find_program(PAWN_QEMU_I386 qemu-i386 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${PAWN_QEMU_I386}")
