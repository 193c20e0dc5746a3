#pragma once
// Identity of a folder, to recognise a folder met again through a link.
// Opening follows links, so a link and its target give the same identity.
#include "framework/DynamicString.h"

#include <windows.h>

struct FolderIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    // Where the folder really is: links resolved, letter case as stored.
    // Empty when the system could not say.
    CString finalPath;
};

// FALSE when the folder cannot be opened or asked.
BOOL GetFolderIdentity(LPCWSTR path, FolderIdentity& identity);

// True only when both name the same folder. Volume serials and file indexes
// are not unique everywhere (Wine gives every tmpfs, proc or sysfs root
// serial 0 and index 1; FAT volumes and some shares repeat them too), so an
// identity with a zero serial or index proves nothing: then the final paths
// decide, compared exactly.
bool IsSameFolder(const FolderIdentity& a, const FolderIdentity& b);
