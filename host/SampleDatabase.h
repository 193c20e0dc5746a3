#pragma once
// The sample host's database: a connection and a files table whose columns
// take every placeholder of the SQL template language.
#include "framework/Database.h"

// The SQLite3 ODBC driver on a database file. Under Wine the driver is a
// native library and wants the file's Unix path; the wide-character build of
// the driver beside the program is used when it is there.
CString SqliteConnectionString(LPCWSTR databasePath);

// Opens a connection as Sorvik needs it: string literals by the SQL standard,
// so that a backslash in a path is a backslash. MySQL-family servers get
// NO_BACKSLASH_ESCAPES for the session. Throws CDBException*.
void OpenSorvikConnection(CDatabase& db, LPCWSTR connectString);

// Creates the files table if it is missing. Throws CDBException*.
void EnsureFilesTable(CDatabase& db);

// The number of rows in the files table; false when it cannot be counted
// (no such table, a lost connection).
bool CountFileRows(CDatabase& db, long long& count);

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
