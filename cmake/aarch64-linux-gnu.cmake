# Cross build for 64-bit Arm (AArch64) Linux with Debian's cross compiler
# (g++-aarch64-linux-gnu). Use with --toolchain or CMAKE_TOOLCHAIN_FILE.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ZELTIMERS_CROSS_TRIPLET aarch64-linux-gnu)
set(ZELTIMERS_QEMU_NAME qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
