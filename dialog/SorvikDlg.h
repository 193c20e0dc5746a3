#pragma once
// CSorvikDlg: the scanner dialog. The dialog thread runs its handlers; one
// worker thread per walk runs ScanThreadProc and the walk, and touches the
// controls only through messages sent to them.
#include "dialog/resource.h"
#include "framework/Dialog.h"
#include "framework/ListCtrl.h"
#include "framework/WinThread.h"
#include "scan/ScanSite.h"
#include "scan/StopCanceller.h"

#include <memory>

class CSorvikDlg : public CDialog, private IScanSite {
    DECLARE_DYNAMIC(CSorvikDlg)
public:
    explicit CSorvikDlg(CWnd* pParent = nullptr);
    ~CSorvikDlg() override;

    // The folder walk and its per-file work (worker thread).
    bool ScanFolder(CString folder, LPCWSTR pattern, LPCWSTR sqlTemplate);
    CString GetFileOwner(const CString& path) override;
    void AddResultRow(const CString& path, const FileFacts& facts) override;

    // Column widths by the header-and-cells rule (worker thread, and the
    // dialog thread at start-up).
    void AutoSizeColumns();
    // Start is enabled exactly when the Folder box holds text (dialog thread,
    // and the worker at the end of a walk).
    void UpdateStartButton();

    CDatabase* m_pDatabase = nullptr;  // the host's; not owned
    CListCtrl m_list;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnDestroy() override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    void OnBrowse();
    void OnStart();
    void OnShowResults();
    void OnShowOwner();
    void OnWriteToDatabase();
    void OnFolderChanged() { UpdateStartButton(); }

    DECLARE_MESSAGE_MAP()

private:
    // Where the Start toggle's walk stands. Finishing: the walk has returned
    // and the worker is doing its end steps. Only the dialog thread reads or
    // writes it, so presses and the worker's state changes never interleave.
    enum class WalkState { Idle, Walking, Finishing };
    // Sent by the worker, so that the dialog thread makes these state changes
    // between two presses, never during one.
    enum : UINT {
        WM_SCAN_RETURNED = WM_APP + 1,  // clears the stop request: Finishing
        WM_SCAN_ENDED,                  // lets the toggle up: Idle, in one step
    };

    bool IsTicked(int nID) const;  // a check box, or the toggle, is down
    static UINT ScanThreadProc(LPVOID pParam);  // worker thread
    void RunWalk();                             // worker thread
    void FinishWalk();                          // worker thread
    void ShowWorkerError(const CString& what);   // worker thread
    void BeginWalk();
    // Sets the stop request, and has a statement that the stop would
    // otherwise wait for cancelled after a grace.
    void RequestStop();
    void WaitForWalkThreads();

    ScanOptions& GetScanOptions() override { return m_options; }     // worker thread
    CDatabase* GetScanDatabase() override { return m_pDatabase; }    // worker thread
    CStatementCancel& GetStatementCancel() override { return m_cancel; }  // worker thread
    void ReportFolderNotListed(const CString& folder, DWORD error) override;          // worker thread
    bool ContinueAfterStatementError(const FileFacts& facts, const CString& error) override;  // worker thread

    WalkState m_walkState = WalkState::Idle;
    std::unique_ptr<CWinThread> m_pWorker;
    // Stopping a walk whose statement the database holds. The dialog thread
    // itself never calls the driver, which may wait on the network.
    CStatementCancel m_cancel;
    unsigned m_cancelRound = 0;   // the running walk's; set before its threads start
    CKernelHandle m_walkReturned;  // set by the worker when the walk returns
    CStopCanceller m_stopCanceller;

public:
    ScanOptions m_options;  // m_bShowOwner, m_bShowResults, m_bWriteToDatabase, m_bStop
};
