#include "host/SampleDatabase.h"

#include "framework/UniqueHandle.h"
#include "host/PluginLoader.h"
#include "host/WinePath.h"

#include <algorithm>
#include <cwctype>

const wchar_t kFilesInsertTemplate[] =
    L"INSERT INTO files (title, path, url, created, accessed, written, archived, compressed, hidden, normal, "
    L"readonly, system, temporary, attributes, length, owner) VALUES ('{FileTitle}', '{FilePath}', '{FileUrl}', "
    L"'{CreateTime}', '{AccessTime}', '{WriteTime}', '{ArchivedAttribute}', '{CompressedAttribute}', "
    L"'{HiddenAttribute}', '{NormalAttribute}', '{ReadOnlyAttribute}', '{SystemAttribute}', "
    L"'{TemporaryAtribbute}', '{AllAttributes}', {FileLength}, '{FileOwner}')";

namespace {

// The driver that Debian packages lacks the wide-character functions, and the
// driver manager's narrowing then mangles characters outside the Basic
// Multilingual Plane; the build placed beside the program has them.
CString SqliteDriver()
{
    const CString besideProgram = UnixPathUnderWine(PathBesideProgram(L"libsqlite3odbc.so"));
    if (!besideProgram.IsEmpty() &&
        ::GetFileAttributesW(PathBesideProgram(L"libsqlite3odbc.so")) != INVALID_FILE_ATTRIBUTES)
        return besideProgram;
    return L"SQLite3";
}

CString DbmsName(CDatabase& db)
{
    SQLWCHAR name[64] = {};
    SQLSMALLINT length = 0;
    if (!SqlSucceeded(::SQLGetInfoW(db.m_hdbc, SQL_DBMS_NAME, name, sizeof name, &length)))
        return CString();
    return CString(reinterpret_cast<LPCWSTR>(name));
}

}  // namespace

CString SqliteConnectionString(LPCWSTR databasePath)
{
    const CString unixPath = UnixPathUnderWine(databasePath);
    // Write-ahead logging: one row per file costs microseconds, not a disk sync.
    return L"Driver=" + SqliteDriver() + L";Database=" + (unixPath.IsEmpty() ? CString(databasePath) : unixPath) +
           L";JournalMode=WAL";
}

void OpenSorvikConnection(CDatabase& db, LPCWSTR connectString)
{
    db.OpenEx(connectString);
    std::wstring name = DbmsName(db).Str();
    std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return std::towlower(c); });
    if (name.find(L"mysql") != std::wstring::npos || name.find(L"mariadb") != std::wstring::npos) {
        try {
            db.ExecuteSQL(L"SET SESSION sql_mode = CONCAT(@@SESSION.sql_mode, ',NO_BACKSLASH_ESCAPES')");
        } catch (...) {
            db.Close();
            throw;
        }
    }
}

void EnsureFilesTable(CDatabase& db)
{
    // BIGINT: sizes beyond 2 GiB; SQLite reads it as its own INTEGER.
    db.ExecuteSQL(
        L"CREATE TABLE IF NOT EXISTS files (title TEXT, path TEXT, url TEXT, created TEXT, accessed TEXT, "
        L"written TEXT, archived TEXT, compressed TEXT, hidden TEXT, normal TEXT, readonly TEXT, system TEXT, "
        L"temporary TEXT, attributes TEXT, length BIGINT, owner TEXT)");
}

bool CountFileRows(CDatabase& db, long long& count)
{
    CStatementHandle stmt;
    if (!db.IsOpen() || !SqlSucceeded(::SQLAllocHandle(SQL_HANDLE_STMT, db.m_hdbc, stmt.Put())))
        return false;
    SQLWCHAR query[] = L"SELECT COUNT(*) FROM files";
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    if (!SqlSucceeded(::SQLExecDirectW(stmt.Get(), query, SQL_NTS)) || !SqlSucceeded(::SQLFetch(stmt.Get())) ||
        !SqlSucceeded(::SQLGetData(stmt.Get(), 1, SQL_C_SBIGINT, &value, sizeof value, &indicator)))
        return false;
    count = value;
    return true;
}
