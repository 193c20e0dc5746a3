#include "scan/ScanScope.h"

#include <algorithm>

namespace {

// Checks one name of a pattern.
bool IsMatchableName(const std::wstring& name, const std::wstring& text, std::wstring& error)
{
    if (name.empty() || name == L"." || name == L"..") {
        error = text + L": every name in a path must be a name (no empty one, no . or ..)";
        return false;
    }
    if (name.size() > CNamePattern::kLongest) {
        error = text + L": a name pattern longer than 255 characters matches no name";
        return false;
    }
    return true;
}

}  // namespace

bool AddExclusion(ScanScope& scope, const std::wstring& text, std::wstring& error)
{
    std::wstring path = text;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (path.find(L'\\') == std::wstring::npos) {
        if (!IsMatchableName(path, text, error))
            return false;
        scope.excludedNames.emplace_back(path);
        return true;
    }
    // The folders given are where paths start; a full path would need to be
    // told which of them it is under.
    if (path.compare(0, 2, L"\\\\") == 0 || (path.size() > 1 && path[1] == L':')) {
        error = text + L": a path to leave out starts below the folders given (backup\\old), it is no full path";
        return false;
    }
    if (path[0] == L'\\')
        path.erase(0, 1);  // "\name": that name right in a folder given
    std::vector<CNamePattern> names;
    for (size_t at = 0; at <= path.size();) {
        const size_t end = std::min(path.find(L'\\', at), path.size());
        const std::wstring name = path.substr(at, end - at);
        if (!IsMatchableName(name, text, error))
            return false;
        names.emplace_back(name);
        at = end + 1;
    }
    scope.excludedPaths.push_back(std::move(names));
    return true;
}

bool AddFilePattern(ScanScope& scope, const std::wstring& text, std::wstring& error)
{
    if (text.find_first_of(L"\\/") != std::wstring::npos) {
        error = text + L": a pattern for files is a name, without a folder part";
        return false;
    }
    if (!IsMatchableName(text, text, error))
        return false;
    scope.filePatterns.emplace_back(text);
    return true;
}
