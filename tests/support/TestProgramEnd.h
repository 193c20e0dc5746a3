#pragma once
// The test program's last word, for its crash report and its deadline.
#include <windows.h>

// The first caller writes line straight to standard output (the thread that
// crashed or hangs may hold the C library's lock on stdout) and ends the
// program with exitCode. A later caller, one that the ending itself woke up,
// says nothing and waits to be ended with the rest.
void EndTestProgram(const char* line, UINT exitCode);
