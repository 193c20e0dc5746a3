#include "scan/FolderIdentity.h"

#include "framework/UniqueHandle.h"

BOOL GetFolderIdentity(LPCWSTR path, FolderIdentity& identity)
{
    // No access rights are needed for the identity; backup semantics let a
    // folder be opened at all.
    CFileHandle folder(::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder || !::GetFileInformationByHandle(folder.Get(), &info))
        return FALSE;
    identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return TRUE;
}
