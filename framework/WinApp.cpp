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
        // The module's file title: "Sorvik" for Sorvik.dll.
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameW(AfxGetStaticModuleState()->m_hCurrentInstanceHandle, path, MAX_PATH);
        const wchar_t* name = path;
        for (const wchar_t* p = path; *p; ++p) {
            if (*p == L'\\' || *p == L'/')
                name = p + 1;
        }
        m_strAppName = CString(name).BeforeLast(L'.');
        m_pszAppName = m_strAppName.GetString();
    }
    return TRUE;
}

int AfxMessageBox(LPCWSTR lpszText, UINT nType, UINT)
{
    CWinApp* pApp = AfxGetApp();
    return ::MessageBoxW(nullptr, lpszText, pApp ? pApp->m_pszAppName : nullptr, nType);
}
