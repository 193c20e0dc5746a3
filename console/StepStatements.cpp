#include "console/StepStatements.h"

#include <algorithm>

const wchar_t kFolderPathPlaceholder[] = L"{FolderPath}";

namespace {

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to)
{
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

std::vector<std::wstring> ExpandSteps(const std::vector<std::wstring>& steps, const std::vector<CString>& folders)
{
    std::vector<std::wstring> prefixes;
    for (const CString& folder : folders) {
        std::wstring prefix = ReplaceAll(folder.Str(), L"'", L"''");
        if (prefix.empty() || prefix.back() != L'\\')
            prefix += L'\\';
        if (std::find(prefixes.begin(), prefixes.end(), prefix) == prefixes.end())
            prefixes.push_back(prefix);
    }
    std::vector<std::wstring> expanded;
    for (const std::wstring& step : steps) {
        if (step.find(kFolderPathPlaceholder) == std::wstring::npos) {
            expanded.push_back(step);
            continue;
        }
        for (const std::wstring& prefix : prefixes)
            expanded.push_back(ReplaceAll(step, kFolderPathPlaceholder, prefix));
    }
    return expanded;
}
