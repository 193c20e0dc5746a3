#include "host/SampleDatabase.h"

#include <string>

const wchar_t kFilesInsertTemplate[] =
    L"INSERT INTO files (title, path, url, created, accessed, written, archived, compressed, hidden, normal, "
    L"readonly, system, temporary, attributes, length, owner) VALUES ('{FileTitle}', '{FilePath}', '{FileUrl}', "
    L"'{CreateTime}', '{AccessTime}', '{WriteTime}', '{ArchivedAttribute}', '{CompressedAttribute}', "
    L"'{HiddenAttribute}', '{NormalAttribute}', '{ReadOnlyAttribute}', '{SystemAttribute}', "
    L"'{TemporaryAtribbute}', '{AllAttributes}', {FileLength}, '{FileOwner}')";

CString SqliteConnectionString(LPCWSTR databasePath)
{
    std::wstring path = databasePath;
    using UnixNameFn = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix) {
        if (char* unix = toUnix(databasePath)) {
            const int n = ::MultiByteToWideChar(CP_UTF8, 0, unix, -1, nullptr, 0);
            path.assign(static_cast<size_t>(n > 0 ? n - 1 : 0), L'\0');
            if (n > 1)
                ::MultiByteToWideChar(CP_UTF8, 0, unix, -1, &path[0], n);
            ::HeapFree(::GetProcessHeap(), 0, unix);
        }
    }
    // Write-ahead logging: one row per file costs microseconds, not a disk sync.
    return CString((L"Driver=SQLite3;Database=" + path + L";JournalMode=WAL").c_str());
}

void EnsureFilesTable(CDatabase& db)
{
    db.ExecuteSQL(
        L"CREATE TABLE IF NOT EXISTS files (title TEXT, path TEXT, url TEXT, created TEXT, accessed TEXT, "
        L"written TEXT, archived TEXT, compressed TEXT, hidden TEXT, normal TEXT, readonly TEXT, system TEXT, "
        L"temporary TEXT, attributes TEXT, length INTEGER, owner TEXT)");
}
