#pragma once
// Native programs started from Windows code under Wine (an ODBC driver, a
// Unix command) want Unix paths.
#include "framework/DynamicString.h"

#include <string>

// True when the program runs under Wine.
bool RunningUnderWine();

// The Unix path of a Windows path under Wine; empty elsewhere, or when Wine
// cannot map it.
CString UnixPathUnderWine(LPCWSTR windowsPath);

// A word for a POSIX shell, whatever it holds: a Unix path in a command.
std::wstring ShellQuote(const std::wstring& text);
