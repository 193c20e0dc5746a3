# Cross-compiles for 64-bit Windows with the MinGW-w64 posix-threads compiler.
# The build checks that the sources hold no 32-bit assumptions; 64-bit Wine
# is not installed, so nothing built here is run.
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
