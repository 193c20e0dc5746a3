#include "scan/FolderIdentity.h"

#include "framework/UniqueHandle.h"

namespace {

// Windows paths compare without regard to case.
bool IsSamePath(const CString& a, const CString& b)
{
    return a.GetLength() == b.GetLength() &&
           ::CompareStringOrdinal(a, a.GetLength(), b, b.GetLength(), TRUE) == CSTR_EQUAL;
}

bool IsTrusted(const FolderIdentity& identity)
{
    return identity.volume != 0 && (identity.indexHigh != 0 || identity.indexLow != 0);
}

CString FinalPath(HANDLE folder)
{
    CString path;
    DWORD room = MAX_PATH;
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(folder, path.GetBufferSetLength(static_cast<int>(room)),
                                                         room, FILE_NAME_NORMALIZED);
        if (length == 0) {
            path.ReleaseBuffer(0);
            return path;
        }
        if (length < room) {
            path.ReleaseBuffer(static_cast<int>(length));
            return path;
        }
        room = length + 1;  // too small: the length needed, terminator included
    }
}

}  // namespace

BOOL GetFolderIdentity(LPCWSTR path, FolderIdentity& identity)
{
    // No access rights are needed for the identity; backup semantics let a
    // folder be opened at all.
    CFileHandle folder(::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder || !::GetFileInformationByHandle(folder.Get(), &info))
        return FALSE;
    identity.volume = info.dwVolumeSerialNumber;
    identity.indexHigh = info.nFileIndexHigh;
    identity.indexLow = info.nFileIndexLow;
    identity.finalPath = FinalPath(folder.Get());
    return TRUE;
}

bool IsSameFolder(const FolderIdentity& a, const FolderIdentity& b)
{
    const bool pathsKnown = !a.finalPath.IsEmpty() && !b.finalPath.IsEmpty();
    if (pathsKnown && !IsSamePath(a.finalPath, b.finalPath))
        return false;
    if (IsTrusted(a) && IsTrusted(b))
        return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
    // Identities that prove nothing: the final paths alone can tell.
    return pathsKnown;
}
