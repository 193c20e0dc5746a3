#pragma once
// What the walk needs of the window that runs it. The scanner dialog implements
// it; tests implement it without a window. Every member is called on the
// worker thread.
#include "framework/Database.h"
#include "scan/FileFacts.h"
#include "scan/ScanOptions.h"

class IScanSite {
public:
    virtual ScanOptions& GetScanOptions() = 0;
    // The host's connection, or null. Tested for an open handle per file.
    virtual CDatabase* GetScanDatabase() = 0;
    // Where each statement is published while it runs, so that a stop can
    // cancel it from another thread.
    virtual CStatementCancel& GetStatementCancel() = 0;
    virtual CString GetFileOwner(const CString& path) = 0;
    virtual void AddResultRow(const CString& path, const FileFacts& facts) = 0;
    // The application message box; returns the button pressed (IDYES, IDNO...).
    virtual int ShowMessageBox(LPCWSTR text, UINT type) = 0;

protected:
    ~IScanSite() = default;
};
