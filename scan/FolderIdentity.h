#pragma once
// Identity of a folder, to recognise a folder met again through a link or a
// mount. Opening follows links, so a link and its target give the same
// identity.
#include "framework/DynamicString.h"

#include <windows.h>

struct FolderIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    // Where the folder really is: links resolved, letter case as stored.
    // Asked only when the serial and index prove nothing; empty when the
    // system could not say.
    CString finalPath;
};

// FALSE when the folder cannot be opened or asked.
BOOL GetFolderIdentity(LPCWSTR path, FolderIdentity& identity);

// The folder's file index alone: one folder has one index, whatever path
// reaches it, so folders with different indexes are different folders.
// Under Wine it costs a small part of the identity, whose volume serial
// Wine asks of its mount manager. FALSE when the folder cannot be opened or
// asked.
BOOL GetFolderIndex(LPCWSTR path, ULONGLONG& index);

// True only when both name the same folder. Volume serials and file indexes
// are not unique everywhere (Wine gives every tmpfs, proc or sysfs root
// serial 0 and index 1; FAT volumes and some shares repeat them too), so an
// identity with a zero serial or index proves nothing: then the final paths
// decide, compared exactly.
bool IsSameFolder(const FolderIdentity& a, const FolderIdentity& b);

// A fact of one folder, asked of the system at most once: Ask puts the
// question the first time only, and says whether the system answered.
template <class T>
struct FolderFact {
    bool asked = false;
    bool answered = false;
    T value{};

    bool Ask(LPCWSTR path, BOOL (*question)(LPCWSTR, T&))
    {
        if (!asked) {
            answered = question(path, value) != FALSE;
            asked = true;
        }
        return answered;
    }
};
