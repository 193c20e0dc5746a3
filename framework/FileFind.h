#pragma once
// CFileFind: one directory search and its current entry, in the framework's style.
// FindFile starts the search without making an entry current; each FindNextFile
// makes the next entry current and returns whether further entries follow, so
// the entry it makes current is valid even when it returns FALSE.
#include "framework/DynamicString.h"
#include "framework/UniqueHandle.h"

#include <cstdint>

class CFileFind {
public:
    CFileFind() = default;
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    BOOL FindFile(LPCWSTR pstrSpec);
    BOOL FindNextFile();
    void Close();

    BOOL IsDots() const;
    BOOL MatchesMask(DWORD dwMask) const;
    CString GetFilePath() const;
    // The entry's own name, as the system lists it.
    LPCWSTR GetFileName() const { return m_current.cFileName; }
    // The entry's texts written into strings the caller keeps, whose buffers
    // are reused from one entry to the next.
    void GetFilePath(CString& path) const;
    void GetFileTitle(CString& title) const;
    void GetFileURL(CString& url) const;
    // The full folder that the entries are in, in its plain form.
    const CString& GetRoot() const { return m_strRoot; }

    // Seconds since 1970-01-01 UTC. FALSE, leaving the value unchanged, when
    // the entry carries no such time.
    BOOL GetCreationTime(int64_t& refTime) const;
    BOOL GetLastAccessTime(int64_t& refTime) const;
    BOOL GetLastWriteTime(int64_t& refTime) const;
    // The entry's own FILETIME, to its 100 ns (zero when the file system
    // keeps no such time). FALSE, leaving it unchanged, without an entry.
    BOOL GetCreationTime(FILETIME* pTimeStamp) const;
    BOOL GetLastAccessTime(FILETIME* pTimeStamp) const;
    BOOL GetLastWriteTime(FILETIME* pTimeStamp) const;
    ULONGLONG GetLength() const;

private:
    CFindHandle m_hContext;
    WIN32_FIND_DATAW m_next{};
    WIN32_FIND_DATAW m_current{};
    bool m_hasCurrent = false;
    CString m_strRoot;
};

// What a path names, asked in the form the system takes as it is (so that
// "dir." is not taken for "dir"): a folder, something else, nothing there,
// or unknown (it cannot be asked: no right, a name the system refuses).
enum class PathKind { Folder, Other, Missing, Unknown };
PathKind GetPathKind(const CString& path);

// FILETIME (100 ns since 1601) to seconds since 1970, rounded down. FALSE for a
// zero FILETIME, which the file system uses for "no time".
BOOL FileTimeToUnixSeconds(const FILETIME& ft, int64_t& refTime);
