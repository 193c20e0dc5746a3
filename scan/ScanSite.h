#pragma once
// What the walk needs of the front end that runs it: the scanner dialog, the
// console program, and tests without either. Every member is called on the
// worker thread.
#include "framework/Database.h"
#include "scan/FileFacts.h"
#include "scan/ScanOptions.h"
#include "scan/StatementQueue.h"

class IScanSite {
public:
    virtual ScanOptions& GetScanOptions() = 0;
    // The host's connection, or null. Tested for an open handle per file.
    virtual CDatabase* GetScanDatabase() = 0;
    // Where each statement is published while it runs, so that a stop can
    // cancel it from another thread.
    virtual CStatementCancel& GetStatementCancel() = 0;
    // Where the statements go when the site runs them in batches; null: each
    // runs at once on GetScanDatabase(), its own transaction.
    virtual IStatementQueue* GetStatementQueue() { return nullptr; }
    virtual CString GetFileOwner(const CString& path) = 0;
    virtual void AddResultRow(const CString& path, const FileFacts& facts) = 0;
    // A folder whose search has started, for front ends that count them.
    virtual void OnFolderListed(const CString&) {}
    // A folder whose search could not start, with the system's error code
    // (ERROR_FILE_NOT_FOUND: nothing in it matches the pattern). The walk
    // goes on with the next folder.
    virtual void ReportFolderNotListed(const CString& folder, DWORD error) = 0;
    // A sub-folder that its parent's search listed and that was gone when
    // the walk came to enter it (a cache or temporary folder removed
    // meanwhile): gone as a deleted file is. Front ends that tell the two
    // apart override this; the rest say it as a folder not listed.
    virtual void ReportFolderGone(const CString& folder) { ReportFolderNotListed(folder, ERROR_PATH_NOT_FOUND); }
    // A file whose content hash was asked for and could not be read, with
    // the system's error code; its hash is the empty text. The dialog says
    // nothing here: a box per file would hold the walk, and its template
    // gets the empty text.
    virtual void ReportFileNotHashed(const CString&, DWORD) {}
    // A file's statement failed with the driver's text. True goes on (the
    // file keeps its row), false ends the walk.
    virtual bool ContinueAfterStatementError(const FileFacts& facts, const CString& error) = 0;

protected:
    ~IScanSite() = default;
};
