#pragma once
// The sample host's database: a connection and a files table whose columns
// take every placeholder of the SQL template language.
#include "framework/Database.h"

// The SQLite3 ODBC driver on a database file. Under Wine the driver is a
// native library and wants the file's Unix path.
CString SqliteConnectionString(LPCWSTR databasePath);

// Creates the files table if it is missing. Throws CDBException*.
void EnsureFilesTable(CDatabase& db);

// An INSERT template for the files table, with every placeholder.
extern const wchar_t kFilesInsertTemplate[];

// The host context as this host lays it out: its own first slot, then
// GetDatabase, the slot that plug-ins call.
class CSampleHost final {
public:
    explicit CSampleHost(CDatabase* pDatabase) : m_pDatabase(pDatabase) {}
    virtual LPCWSTR GetHostName() { return L"Sorvik sample host"; }
    virtual CDatabase* GetDatabase() { return m_pDatabase; }

private:
    CDatabase* m_pDatabase;
};
