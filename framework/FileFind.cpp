#include "framework/FileFind.h"

#include "framework/FullPath.h"

#include <cwchar>

BOOL FileTimeToUnixSeconds(const FILETIME& ft, int64_t& refTime)
{
    const int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    if (ticks == 0)
        return FALSE;
    constexpr int64_t kTicksPerSecond = 10000000;
    constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
    // The top bit set is a time before 1601 (64-bit Wine gives one for a
    // Linux file dated earlier): a time before 1970 all the same, not one
    // the finder lacks. Rounded down, as the times after 1601 are.
    const int64_t seconds = ticks / kTicksPerSecond - (ticks % kTicksPerSecond < 0 ? 1 : 0);
    refTime = seconds - kSecondsFrom1601To1970;
    return TRUE;
}

PathKind GetPathKind(const CString& path)
{
    const DWORD attributes = ::GetFileAttributesW(CFullPath(path).GetExtendedPath());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder : PathKind::Other;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::Missing : PathKind::Unknown;
}

BOOL CFileFind::FindFile(LPCWSTR pstrSpec)
{
    Close();
    if (!pstrSpec || !*pstrSpec)
        pstrSpec = L"*.*";
    // The search is given the path as it is, so that it lists "dir." rather
    // than "dir" and takes paths of any length; the entries' paths start
    // from the plain folder.
    const CFullPath spec(pstrSpec);
    m_hContext.Reset(::FindFirstFileExW(spec.GetExtendedPath(), FindExInfoBasic, &m_next, FindExSearchNameMatch,
                                        nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!m_hContext)
        return FALSE;
    m_strRoot = spec.GetFolder();
    return TRUE;
}

BOOL CFileFind::FindNextFile()
{
    if (!m_hContext)
        return FALSE;
    m_current = m_next;
    m_hasCurrent = true;
    return ::FindNextFileW(m_hContext.Get(), &m_next);
}

void CFileFind::Close()
{
    m_hContext.Reset();
    m_hasCurrent = false;
    m_strRoot = CString();
}

BOOL CFileFind::IsDots() const
{
    const wchar_t* name = m_current.cFileName;
    return m_hasCurrent && name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

BOOL CFileFind::MatchesMask(DWORD dwMask) const
{
    return m_hasCurrent && (m_current.dwFileAttributes & dwMask) != 0;
}

namespace {

// Root, a backslash unless the root ends in one, and name.
void AppendPath(CString& out, const CString& root, LPCWSTR name)
{
    const int nameLength = static_cast<int>(wcslen(name));
    out.Preallocate(out.GetLength() + root.GetLength() + 1 + nameLength);
    out += root;
    if (root.IsEmpty() || root.GetAt(root.GetLength() - 1) != L'\\')
        out += L'\\';
    out.Append(name, nameLength);
}

}  // namespace

void CFileFind::GetFilePath(CString& path) const
{
    path.Empty();
    AppendPath(path, m_strRoot, m_current.cFileName);
}

void CFileFind::GetFileTitle(CString& title) const
{
    const wchar_t* name = m_current.cFileName;
    const wchar_t* dot = wcsrchr(name, L'.');
    title.SetString(name, static_cast<int>(dot ? dot - name : static_cast<ptrdiff_t>(wcslen(name))));
}

void CFileFind::GetFileURL(CString& url) const
{
    url.SetString(L"file://", 7);
    AppendPath(url, m_strRoot, m_current.cFileName);
}

CString CFileFind::GetFilePath() const
{
    CString path;
    GetFilePath(path);
    return path;
}

BOOL CFileFind::GetCreationTime(int64_t& refTime) const
{
    return m_hasCurrent && FileTimeToUnixSeconds(m_current.ftCreationTime, refTime);
}

BOOL CFileFind::GetLastAccessTime(int64_t& refTime) const
{
    return m_hasCurrent && FileTimeToUnixSeconds(m_current.ftLastAccessTime, refTime);
}

BOOL CFileFind::GetLastWriteTime(int64_t& refTime) const
{
    return m_hasCurrent && FileTimeToUnixSeconds(m_current.ftLastWriteTime, refTime);
}

namespace {

BOOL CopyFileTime(bool hasCurrent, const FILETIME& from, FILETIME* pTimeStamp)
{
    if (!hasCurrent)
        return FALSE;
    *pTimeStamp = from;
    return TRUE;
}

}  // namespace

BOOL CFileFind::GetCreationTime(FILETIME* pTimeStamp) const
{
    return CopyFileTime(m_hasCurrent, m_current.ftCreationTime, pTimeStamp);
}

BOOL CFileFind::GetLastAccessTime(FILETIME* pTimeStamp) const
{
    return CopyFileTime(m_hasCurrent, m_current.ftLastAccessTime, pTimeStamp);
}

BOOL CFileFind::GetLastWriteTime(FILETIME* pTimeStamp) const
{
    return CopyFileTime(m_hasCurrent, m_current.ftLastWriteTime, pTimeStamp);
}

ULONGLONG CFileFind::GetLength() const
{
    return (static_cast<ULONGLONG>(m_current.nFileSizeHigh) << 32) | m_current.nFileSizeLow;
}
