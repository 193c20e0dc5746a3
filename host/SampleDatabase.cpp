#include "host/SampleDatabase.h"

#include "host/WinePath.h"

const wchar_t kFilesInsertTemplate[] =
    L"INSERT INTO files (title, path, url, created, accessed, written, archived, compressed, hidden, normal, "
    L"readonly, system, temporary, attributes, length, owner) VALUES ('{FileTitle}', '{FilePath}', '{FileUrl}', "
    L"'{CreateTime}', '{AccessTime}', '{WriteTime}', '{ArchivedAttribute}', '{CompressedAttribute}', "
    L"'{HiddenAttribute}', '{NormalAttribute}', '{ReadOnlyAttribute}', '{SystemAttribute}', "
    L"'{TemporaryAtribbute}', '{AllAttributes}', {FileLength}, '{FileOwner}')";

CString SqliteConnectionString(LPCWSTR databasePath)
{
    const CString unixPath = UnixPathUnderWine(databasePath);
    // Write-ahead logging: one row per file costs microseconds, not a disk sync.
    return L"Driver=SQLite3;Database=" + (unixPath.IsEmpty() ? CString(databasePath) : unixPath) +
           L";JournalMode=WAL";
}

void EnsureFilesTable(CDatabase& db)
{
    db.ExecuteSQL(
        L"CREATE TABLE IF NOT EXISTS files (title TEXT, path TEXT, url TEXT, created TEXT, accessed TEXT, "
        L"written TEXT, archived TEXT, compressed TEXT, hidden TEXT, normal TEXT, readonly TEXT, system TEXT, "
        L"temporary TEXT, attributes TEXT, length INTEGER, owner TEXT)");
}
