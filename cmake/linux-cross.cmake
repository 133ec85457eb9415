# What the Linux cross builds share; a toolchain file sets
# CMAKE_SYSTEM_PROCESSOR, ZELTIMERS_CROSS_TRIPLET (Debian's cross compiler
# prefix) and ZELTIMERS_QEMU_NAME, then includes this file.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${ZELTIMERS_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ZELTIMERS_CROSS_TRIPLET}-g++)

# Headers, libraries and CMake packages come from the target's folders only,
# never from the build machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${ZELTIMERS_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Run the test programs through QEMU's user-mode emulator when it is
# installed (Debian: qemu-user-static), with the target's loader and shared
# libraries taken from the cross toolchain's folder, so ctest and
# gtest_discover_tests work as in a native build.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(ZELTIMERS_QEMU ${ZELTIMERS_QEMU_NAME})
  if(ZELTIMERS_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELTIMERS_QEMU} -L /usr/${ZELTIMERS_CROSS_TRIPLET})
  endif()
endif()
