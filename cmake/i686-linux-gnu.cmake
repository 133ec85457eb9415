# Cross build for 32-bit x86 (i686) Linux with Debian's cross compiler
# (g++-i686-linux-gnu). Use with --toolchain or CMAKE_TOOLCHAIN_FILE.
# i686 is one of the names the library's x86 rule knows: its arithmetic is
# built for SSE2 rather than the compiler's default x87 unit.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZELTIMERS_CROSS_TRIPLET i686-linux-gnu)
set(ZELTIMERS_QEMU_NAME qemu-i386-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
