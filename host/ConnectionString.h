#pragma once
// ODBC connection strings as the sample host needs to read and mend them:
// KEY=value pairs separated by semicolons, a value optionally in braces.
#include "framework/DynamicString.h"

// The value of a key (case-insensitive), or empty.
CString ConnectionValue(LPCWSTR connection, LPCWSTR key);

// The connection string with that key's value replaced (or appended).
CString WithConnectionValue(LPCWSTR connection, LPCWSTR key, LPCWSTR value);

// The connection string with every password shown as "***".
CString WithoutPasswords(LPCWSTR connection);

// The SQLite driver under Wine is a Linux library and opens Database= as a
// Linux path: a Windows path there would silently become a file named after
// it in the current folder. Returns the string with such a path translated,
// or false with a message when it cannot be.
bool MendSqlitePathForWine(CString& connection, CString& error);
