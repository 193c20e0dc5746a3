#include "framework/WinApp.h"

#include "framework/ModuleState.h"

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCWSTR lpszAppName)
{
    if (lpszAppName)
        m_strAppName = lpszAppName;
    m_pszAppName = lpszAppName ? m_strAppName.GetString() : nullptr;
    AfxGetStaticModuleState()->m_pCurrentWinApp = this;
}

CWinApp::~CWinApp()
{
    AFX_MODULE_STATE* state = AfxGetStaticModuleState();
    if (state->m_pCurrentWinApp == this)
        state->m_pCurrentWinApp = nullptr;
}

BOOL CWinApp::InitInstance()
{
    if (!m_pszAppName) {
        wchar_t path[MAX_PATH];
        const DWORD length = ::GetModuleFileNameW(AfxGetStaticModuleState()->m_hCurrentInstanceHandle, path, MAX_PATH);
        CString title = CString(path, static_cast<int>(length < MAX_PATH ? length : 0));
        const int slash = static_cast<int>(title.Str().find_last_of(L"\\/"));
        title = CString(title.GetString() + slash + 1).BeforeLast(L'.');
        m_strAppName = title;
        m_pszAppName = m_strAppName.GetString();
    }
    return TRUE;
}

int AfxMessageBox(LPCWSTR lpszText, UINT nType, UINT)
{
    CWinApp* pApp = AfxGetApp();
    return ::MessageBoxW(nullptr, lpszText, pApp ? pApp->m_pszAppName : nullptr, nType);
}
