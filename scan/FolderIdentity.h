#pragma once
// Identity of a folder on its volume, to recognise a folder met again through
// a link. Opening follows links, so a link and its target compare equal.
#include <windows.h>

struct FolderIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    friend bool operator==(const FolderIdentity& a, const FolderIdentity& b)
    {
        return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
    }
};

// FALSE when the folder cannot be opened or asked.
BOOL GetFolderIdentity(LPCWSTR path, FolderIdentity& identity);
