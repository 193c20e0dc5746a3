#include "dialog/SorvikDlg.h"

#include "framework/WinApp.h"
#include "scan/FileOwner.h"
#include "scan/FileTimeText.h"
#include "scan/FolderWalk.h"

#include <shlobj.h>

#include <cstring>
#include <exception>

IMPLEMENT_DYNAMIC(CSorvikDlg, CDialog)

BEGIN_MESSAGE_MAP(CSorvikDlg, CDialog)
    ON_BN_CLICKED(IDC_BROWSE, &CSorvikDlg::OnBrowse)
    ON_BN_CLICKED(IDC_START, &CSorvikDlg::OnStart)
    ON_BN_CLICKED(IDC_SHOW_RESULTS, &CSorvikDlg::OnShowResults)
    ON_BN_CLICKED(IDC_SHOW_OWNER, &CSorvikDlg::OnShowOwner)
    ON_BN_CLICKED(IDC_WRITE_TO_DATABASE, &CSorvikDlg::OnWriteToDatabase)
    ON_EN_CHANGE(IDC_FOLDER, &CSorvikDlg::OnFolderChanged)
END_MESSAGE_MAP()

CSorvikDlg::CSorvikDlg(CWnd* pParent)
    : CDialog(IDD_SORVIK_DIALOG, pParent),
      m_walkReturned(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_stopCanceller(m_cancel, m_walkReturned.Get())
{
    m_options.m_bStop = false;
}

CSorvikDlg::~CSorvikDlg()
{
    WaitForWalkThreads();
}

void CSorvikDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_RESULT_LIST, m_list);
}

BOOL CSorvikDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_PATTERN, L"*.*");

    int column = 0;
    for (LPCWSTR title : {L"File Name", L"Date Created", L"Size", L"Attributes", L"Owner"})
        m_list.InsertColumn(column++, title, LVCFMT_LEFT, -1, -1);
    m_list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    AutoSizeColumns();

    UpdateStartButton();
    m_options.m_bShowOwner = IsTicked(IDC_SHOW_OWNER);
    m_options.m_bShowResults = IsTicked(IDC_SHOW_RESULTS);
    m_options.m_bWriteToDatabase = IsTicked(IDC_WRITE_TO_DATABASE);
    EnableDlgItem(IDC_SQL, m_pDatabase && m_pDatabase->m_hdbc != SQL_NULL_HDBC);
    return TRUE;
}

bool CSorvikDlg::IsTicked(int nID) const
{
    return IsDlgButtonChecked(nID) == BST_CHECKED;
}

void CSorvikDlg::OnShowResults()
{
    m_options.m_bShowResults = IsTicked(IDC_SHOW_RESULTS);
}

void CSorvikDlg::OnShowOwner()
{
    m_options.m_bShowOwner = IsTicked(IDC_SHOW_OWNER);
}

void CSorvikDlg::OnWriteToDatabase()
{
    m_options.m_bWriteToDatabase = IsTicked(IDC_WRITE_TO_DATABASE);
}

void CSorvikDlg::UpdateStartButton()
{
    CString folder;
    GetDlgItemText(IDC_FOLDER, folder);
    EnableDlgItem(IDC_START, !folder.IsEmpty());
}

void CSorvikDlg::OnStart()
{
    const bool down = IsTicked(IDC_START);
    switch (m_walkState) {
    case WalkState::Idle:
        // No stop can be pending here: it is cleared before Idle returns.
        if (down) {
            m_walkState = WalkState::Walking;
            BeginWalk();
        }
        break;
    case WalkState::Walking:
        // Letting the toggle up requests the stop; presses while it is
        // pending only flip the toggle.
        if (!down && !m_options.m_bStop)
            RequestStop();
        break;
    case WalkState::Finishing:
        // The walk has returned: a press only flips the toggle, which the
        // worker's last step lets up whatever its state.
        break;
    }
}

BOOL CSorvikDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    switch (message) {
    case WM_SCAN_RETURNED:
        m_options.m_bStop = false;
        m_walkState = WalkState::Finishing;
        return TRUE;
    case WM_SCAN_ENDED:
        CheckDlgButton(IDC_START, BST_UNCHECKED);
        m_walkState = WalkState::Idle;
        return TRUE;
    default:
        return CDialog::OnWndMsg(message, wParam, lParam, pResult);
    }
}

void CSorvikDlg::BeginWalk()
{
    // The previous worker has already let go of the dialog; only its thread's
    // last instructions may remain.
    WaitForWalkThreads();
    m_cancelRound = m_cancel.BeginRound();
    ::ResetEvent(m_walkReturned.Get());
    // Kept for the wait at close.
    m_pWorker = AfxBeginOwnedThread(&CSorvikDlg::ScanThreadProc, this);
    if (!m_pWorker) {
        m_walkState = WalkState::Idle;
        CheckDlgButton(IDC_START, BST_UNCHECKED);
        AfxMessageBox(L"The scan could not be started: the system could not create a thread for it.",
                      MB_OK | MB_ICONERROR);
        return;
    }
}

void CSorvikDlg::OnDestroy()
{
    // The dialog is closing: end a running walk after the entry in progress,
    // and keep the controls alive until the worker has done with them.
    if (m_walkState == WalkState::Walking && !m_options.m_bStop)
        RequestStop();
    WaitForWalkThreads();
}

void CSorvikDlg::RequestStop()
{
    m_options.m_bStop = true;
    // Without a canceller the stop still comes, once the statement returns.
    m_stopCanceller.Begin(m_cancelRound);
}

void CSorvikDlg::WaitForWalkThreads()
{
    if (m_pWorker)
        AfxWaitForThreadPumpingSent(m_pWorker->GetHandle());
    m_pWorker.reset();
    // It ends soon after the worker: it waits for the walk's return, and
    // sends nothing to a window.
    m_stopCanceller.Wait();
}

UINT CSorvikDlg::ScanThreadProc(LPVOID pParam)
{
    CSorvikDlg* pDlg = static_cast<CSorvikDlg*>(pParam);
    pDlg->RunWalk();
    ::SetEvent(pDlg->m_walkReturned.Get());
    pDlg->SendMessage(WM_SCAN_RETURNED);
    pDlg->FinishWalk();
    pDlg->SendMessage(WM_SCAN_ENDED);
    return 0;
}

void CSorvikDlg::RunWalk()
{
    try {
        CString folder;
        CString pattern;
        CString sqlTemplate;
        GetDlgItemText(IDC_FOLDER, folder);
        GetDlgItemText(IDC_PATTERN, pattern);
        GetDlgItemText(IDC_SQL, sqlTemplate);
        ScanFolder(folder, pattern, sqlTemplate);
    } catch (const std::exception& e) {
        ShowWorkerError(CString(std::wstring(e.what(), e.what() + strlen(e.what())).c_str()));
    } catch (...) {
        ShowWorkerError(L"unknown error");
    }
}

void CSorvikDlg::FinishWalk()
{
    try {
        AutoSizeColumns();
        UpdateStartButton();
    } catch (...) {
        // Only memory can fail here; the toggle must come up regardless.
    }
}

void CSorvikDlg::ShowWorkerError(const CString& what)
{
    try {
        AfxMessageBox(L"The scan stopped because of an unexpected error: " + what, MB_OK | MB_ICONERROR);
    } catch (...) {
    }
}

bool CSorvikDlg::ScanFolder(CString folder, LPCWSTR pattern, LPCWSTR sqlTemplate)
{
    CFolderWalk walk(*this);
    return walk.ScanFolder(folder, pattern, sqlTemplate);
}

CString CSorvikDlg::GetFileOwner(const CString& path)
{
    return LookupFileOwner(path);
}

void CSorvikDlg::ReportFolderNotListed(const CString&, DWORD)
{
    AfxMessageBox(L"Folder is empty", MB_OK, 0);
}

bool CSorvikDlg::ContinueAfterStatementError(const FileFacts&, const CString& error)
{
    // A box that cannot be shown at all (0) goes on, as Yes does.
    return AfxMessageBox(error + L"\r\nDo you want to continue?", MB_YESNO | MB_ICONERROR, 0) != IDNO;
}

void CSorvikDlg::AddResultRow(const CString& path, const FileFacts& facts)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = m_list.GetItemCount();
    item.pszText = const_cast<LPWSTR>(path.GetString());
    const int index = m_list.InsertItem(&item);
    if (facts.m_timeCreate > 0) {
        wchar_t created[kFileTimeTextSize];
        FormatFileTime(facts.m_timeCreate, created);
        m_list.SetItemText(index, 1, created);
    }
    m_list.SetItemText(index, 2, facts.m_strFileLength);
    m_list.SetItemText(index, 3, facts.m_strAllAttributes);
    if (m_options.m_bShowOwner)
        m_list.SetItemText(index, 4, facts.m_strFileOwner);
    m_list.EnsureVisible(index, FALSE);
}

void CSorvikDlg::AutoSizeColumns()
{
    for (int column = 0; column < CHeaderCtrl(m_list.GetHeaderCtrl()).GetItemCount(); ++column)
        m_list.SetColumnWidth(column, LVSCW_AUTOSIZE_USEHEADER);
}

namespace {

int CALLBACK BrowseCallback(HWND hWnd, UINT message, LPARAM, LPARAM)
{
    if (message == BFFM_INITIALIZED)
        ::SendMessageW(hWnd, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(L"C:\\"));
    return 0;
}

}  // namespace

void CSorvikDlg::OnBrowse()
{
    BROWSEINFOW info = {};
    info.hwndOwner = m_hWnd;
    info.lpszTitle = L"Select Folder:";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
    info.lpfn = &BrowseCallback;
    const CCoTaskMemory pidl(::SHBrowseForFolderW(&info));
    wchar_t path[MAX_PATH];
    if (pidl && ::SHGetPathFromIDListW(static_cast<PCIDLIST_ABSOLUTE>(pidl.Get()), path))
        SetDlgItemText(IDC_FOLDER, path);
}
