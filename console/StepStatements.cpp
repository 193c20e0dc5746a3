#include "console/StepStatements.h"

#include "scan/SqlTemplate.h"

#include <algorithm>

namespace {

const std::wstring kFolderPath = L"{FolderPath}";

}  // namespace

std::vector<std::wstring> ExpandSteps(const std::vector<std::wstring>& steps, const std::vector<CString>& folders)
{
    std::vector<std::wstring> prefixes;
    for (const CString& folder : folders) {
        std::wstring prefix = QuoteForSql(folder).Str();
        if (prefix.empty() || prefix.back() != L'\\')
            prefix += L'\\';
        if (std::find(prefixes.begin(), prefixes.end(), prefix) == prefixes.end())
            prefixes.push_back(prefix);
    }
    std::vector<std::wstring> expanded;
    for (const std::wstring& step : steps) {
        if (step.find(kFolderPath) == std::wstring::npos) {
            expanded.push_back(step);
            continue;
        }
        for (const std::wstring& prefix : prefixes) {
            std::wstring statement = step;
            for (size_t at = statement.find(kFolderPath); at != std::wstring::npos;
                 at = statement.find(kFolderPath, at + prefix.size()))
                statement.replace(at, kFolderPath.size(), prefix);
            expanded.push_back(statement);
        }
    }
    return expanded;
}
