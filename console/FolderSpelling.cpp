#include "console/FolderSpelling.h"

#include "framework/FileFind.h"
#include "framework/FullPath.h"

#include <cwctype>
#include <string>

CString SpelledAsStored(const CString& folder)
{
    const CFullPath full(folder);
    if (full.GetRootKind() == CFullPath::RootKind::None || GetPathKind(folder) != PathKind::Folder)
        return folder;
    std::wstring path = full.GetPath().Str();
    if (full.GetRootKind() == CFullPath::RootKind::Drive)
        path[0] = static_cast<wchar_t>(std::towupper(path[0]));
    for (size_t at = static_cast<size_t>(full.GetRootLength()); at < path.size();) {
        size_t end = path.find(L'\\', at);
        end = end == std::wstring::npos ? path.size() : end;
        // A name with a wildcard would be searched as a pattern: it stays.
        CFileFind finder;
        if (path.find_first_of(L"*?", at) >= end && finder.FindFile(path.substr(0, end).c_str())) {
            finder.FindNextFile();
            const std::wstring stored = finder.GetFileName();
            path.replace(at, end - at, stored);
            end = at + stored.size();
        }
        at = end + 1;
    }
    return CString(path.c_str(), static_cast<int>(path.size()));
}
