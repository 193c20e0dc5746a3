# Cross-compiles for 64-bit Windows with the MinGW-w64 posix-threads compiler
# and runs the resulting programs under 64-bit Wine, in a prefix of their own.
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh;--win64")
