#pragma once
// Reads query results back through the same connection, as text.
#include "framework/Database.h"

#include <string>
#include <vector>

using Rows = std::vector<std::vector<std::wstring>>;

// Runs a SELECT and returns every row, each column as text ("<null>" for NULL).
Rows QueryRows(CDatabase& db, const std::wstring& sql);

// A fresh SQLite database file under the temp folder, opened as the sample
// host opens its own, with the same files table.
struct SqliteTestDatabase {
    SqliteTestDatabase();
    ~SqliteTestDatabase();
    std::wstring windowsPath;
    CDatabase db;
};
