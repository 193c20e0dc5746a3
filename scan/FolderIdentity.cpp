#include "scan/FolderIdentity.h"

#include "framework/FullPath.h"
#include "framework/UniqueHandle.h"

namespace {

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
    CFileHandle folder(::CreateFileW(CFullPath(path).GetExtendedPath(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
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
    // One folder can have several final paths (a volume mounted in two
    // folders, a bind mount): where the identities can tell, they decide.
    if (IsTrusted(a) && IsTrusted(b))
        return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
    // The system gives the final path in the stored case, so an exact
    // comparison is right on every volume; case twins are different folders
    // where the volume is case-sensitive.
    return !a.finalPath.IsEmpty() && a.finalPath == b.finalPath;
}
