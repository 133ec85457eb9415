# Cross build for 64-bit Windows with Debian's MinGW-w64 toolchain
# (g++-mingw-w64-x86-64-posix). Use with --toolchain or CMAKE_TOOLCHAIN_FILE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELTIMERS_MINGW_TRIPLET x86_64-w64-mingw32)
# The posix-threads variant: its libstdc++ has std::thread and
# std::this_thread::sleep_for, which the tests use.
set(CMAKE_C_COMPILER ${ZELTIMERS_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELTIMERS_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELTIMERS_MINGW_TRIPLET}-windres)

# Headers, libraries and CMake packages come from the Windows sysroot only,
# never from the build machine's own Linux folders.
set(CMAKE_FIND_ROOT_PATH /usr/${ZELTIMERS_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The GCC runtime (libgcc, libstdc++, winpthread) is linked into every binary,
# so the DLL and the test programs run without MinGW's DLLs on the path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Run the Windows test programs through Wine when it is installed, so ctest
# and gtest_discover_tests work as in a native build.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(ZELTIMERS_WINE NAMES wine wine64)
  if(ZELTIMERS_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELTIMERS_WINE})
  endif()
endif()
