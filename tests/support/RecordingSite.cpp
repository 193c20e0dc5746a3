#include "support/RecordingSite.h"

#include "scan/FileOwner.h"

#include <gtest/gtest.h>

CString RecordingSite::GetFileOwner(const CString& path)
{
    ++ownerLookups;
    if (inOwnerStep)
        inOwnerStep(*this);
    return LookupFileOwner(path);
}

void RecordingSite::AddResultRow(const CString& path, const FileFacts& facts)
{
    EXPECT_EQ(path, facts.m_strFilePath);
    rows.push_back(facts);
    if (afterRow)
        afterRow(*this);
}

void RecordingSite::ReportFolderNotListed(const CString& folder, DWORD error)
{
    unlisted.push_back({folder.Str(), error});
}

bool RecordingSite::ContinueAfterStatementError(const FileFacts&, const CString& error)
{
    errors.push_back(error.Str());
    if (goOn.empty())
        return true;
    const bool answer = goOn.front();
    goOn.pop_front();
    return answer;
}

std::vector<std::wstring> RecordingSite::Paths() const
{
    std::vector<std::wstring> paths;
    for (const FileFacts& row : rows)
        paths.push_back(row.m_strFilePath.Str());
    return paths;
}

bool RecordingSite::Walk(const std::wstring& folder, LPCWSTR pattern, LPCWSTR sqlTemplate)
{
    CFolderWalk walk(*this);
    return walk.ScanFolder(folder.c_str(), pattern, sqlTemplate);
}
