#include "scan/FolderIdentity.h"

#include "framework/FullPath.h"
#include "framework/UniqueHandle.h"

#include <winternl.h>

namespace {

bool IsTrusted(const FolderIdentity& identity)
{
    return identity.volume != 0 && (identity.indexHigh != 0 || identity.indexLow != 0);
}

CFileHandle OpenFolder(LPCWSTR path)
{
    // No access rights are needed for the identity; backup semantics let a
    // folder be opened at all.
    return CFileHandle(::CreateFileW(CFullPath(path).GetExtendedPath(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
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
    const CFileHandle folder = OpenFolder(path);
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder || !::GetFileInformationByHandle(folder.Get(), &info))
        return FALSE;
    identity.volume = info.dwVolumeSerialNumber;
    identity.indexHigh = info.nFileIndexHigh;
    identity.indexLow = info.nFileIndexLow;
    identity.finalPath = IsTrusted(identity) ? CString() : FinalPath(folder.Get());
    return TRUE;
}

BOOL GetFolderIndex(LPCWSTR path, ULONGLONG& index)
{
    const CFileHandle folder = OpenFolder(path);
    IO_STATUS_BLOCK status;
    FILE_INTERNAL_INFORMATION info;
    if (!folder || ::NtQueryInformationFile(folder.Get(), &status, &info, sizeof info, FileInternalInformation) < 0)
        return FALSE;
    index = static_cast<ULONGLONG>(info.IndexNumber.QuadPart);
    return TRUE;
}

bool IsSameFolder(const FolderIdentity& a, const FolderIdentity& b)
{
    // One folder can have several final paths (a volume mounted in two
    // folders, a bind mount): where the identities can tell, they decide.
    if (IsTrusted(a) && IsTrusted(b))
        return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
    // One folder gives one identity by every path, so an identity that
    // proves nothing is never that of a folder whose identity does: only
    // two that prove nothing have their final paths. The system gives those
    // in the stored case, so an exact comparison is right on every volume;
    // case twins are different folders where the volume is case-sensitive.
    return !a.finalPath.IsEmpty() && a.finalPath == b.finalPath;
}
