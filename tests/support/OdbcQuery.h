#pragma once
// Reads query results back through the same connection, as text.
#include "framework/Database.h"

#include <string>
#include <vector>

using Rows = std::vector<std::vector<std::wstring>>;

// Runs a SELECT and returns every row, each column as text ("<null>" for NULL).
Rows QueryRows(CDatabase& db, const std::wstring& sql);

// A fresh SQLite database file under the temp folder, opened, with a files
// table whose columns take every placeholder.
struct SqliteTestDatabase {
    SqliteTestDatabase();
    ~SqliteTestDatabase();
    std::wstring windowsPath;
    CDatabase db;
};

// Connection string of the SQLite3 ODBC driver for a Windows path.
std::wstring SqliteConnectString(const std::wstring& windowsPath);
