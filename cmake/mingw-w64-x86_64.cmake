# Cross-compiles for 64-bit Windows with the MinGW-w64 GCC of the POSIX thread
# model (GCC 12's win32 model has no std::thread or std::mutex), and runs the
# built programs and tests under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLE x86_64-w64-mingw32)
# Named explicitly: where both thread models are installed, the plain
# x86_64-w64-mingw32-g++ is the win32 one.
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# DWARF 4 debug information in every build type: Wine's dbghelp reads it (not
# GCC 12's default DWARF 5), so the stack listing of a run-time error can name
# routines, lines and source files.
set(CMAKE_C_FLAGS_INIT "-gdwarf-4")
set(CMAKE_CXX_FLAGS_INIT "-gdwarf-4")

# Fully static: the programs need no libstdc++-6.dll, libgcc_s_seh-1.dll or
# libwinpthread-1.dll at run time (-static is what takes winpthread in).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Target programs (add_test with a target, gtest_discover_tests) run through
# wine, unless the caller names another emulator.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(WINE_PROGRAM NAMES wine wine64)
  if(WINE_PROGRAM)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
  endif()
endif()
