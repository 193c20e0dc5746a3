#pragma once
// What a walk takes beyond its search pattern: names and paths left out,
// patterns for files only, and how deep it goes. Filled before the walk
// starts and only read while it runs.
#include "scan/NamePattern.h"

#include <string>
#include <vector>

struct ScanScope {
    // An entry whose own name matches one is left out: a folder is not
    // entered, a file not taken.
    std::vector<CNamePattern> excludedNames;
    // Paths below each folder given, one pattern for each name on the way.
    std::vector<std::vector<CNamePattern>> excludedPaths;
    // When there are any, only files whose names match one are taken; the
    // search pattern alone decides which folders are entered.
    std::vector<CNamePattern> filePatterns;
    // How many levels of folders are listed, the given folder's being the
    // first; 0: no limit.
    unsigned maxDepth = 0;
};

// Adds a pattern to leave out, as typed: a name, or with a backslash (or a
// slash) a path below the folders given. False, with the reason, for one
// that could never match as meant.
bool AddExclusion(ScanScope& scope, const std::wstring& text, std::wstring& error);
// Adds a pattern that files are taken by: a name, with no folder part.
bool AddFilePattern(ScanScope& scope, const std::wstring& text, std::wstring& error);
