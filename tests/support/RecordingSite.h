#pragma once
// A scan site without a window: it records rows, folders not listed and
// statement errors, answers the errors from a script, and lets a test act in
// each owner step and after each row.
#include "scan/FolderWalk.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

struct NotListed {
    std::wstring folder;
    DWORD error;
};

class RecordingSite final : public IScanSite {
public:
    ScanOptions options;
    CDatabase* database = nullptr;
    std::vector<FileFacts> rows;
    std::vector<NotListed> unlisted;
    std::vector<std::wstring> gone;
    std::vector<std::wstring> errors;  // each failed statement's driver text
    std::deque<bool> goOn;             // the answers to the errors, in order; true when empty
    int ownerLookups = 0;
    std::function<void(RecordingSite&)> afterRow;
    std::function<void(RecordingSite&)> inOwnerStep;
    CStatementCancel cancel;

    RecordingSite() { options.m_bShowResults = true; }
    // With Write to Database ticked on this connection.
    explicit RecordingSite(CDatabase& db) : RecordingSite()
    {
        database = &db;
        options.m_bWriteToDatabase = true;
    }

    ScanOptions& GetScanOptions() override { return options; }
    CDatabase* GetScanDatabase() override { return database; }
    CStatementCancel& GetStatementCancel() override { return cancel; }
    CString GetFileOwner(const CString& path) override;
    void AddResultRow(const CString& path, const FileFacts& facts) override;
    void ReportFolderNotListed(const CString& folder, DWORD error) override;
    void ReportFolderGone(const CString& folder) override { gone.push_back(folder.Str()); }
    bool ContinueAfterStatementError(const FileFacts& facts, const CString& error) override;

    std::vector<std::wstring> Paths() const;
    bool Walk(const std::wstring& folder, LPCWSTR pattern = L"*.*", LPCWSTR sqlTemplate = L"");
};
