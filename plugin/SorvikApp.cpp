#include "plugin/SorvikApp.h"

#include "dialog/SorvikDlg.h"
#include "framework/ModuleState.h"

#include <string>

CSorvikApp theApp;

BEGIN_MESSAGE_MAP(CSorvikApp, CWinApp)
END_MESSAGE_MAP()

CSorvikApp::CSorvikApp() : CWinApp(nullptr) {}

BOOL CSorvikApp::InitInstance()
{
    CWinApp::InitInstance();
    return TRUE;
}

void CSorvikApp::SetHost(IHostContext* pHost)
{
    m_pHost = pHost;
}

IHostContext* CSorvikApp::GetHost()
{
    return m_pHost;
}

int CSorvikApp::GetTypeCode()
{
    return 4;
}

int CSorvikApp::GetSubtypeCode()
{
    return 3;
}

bool CSorvikApp::Execute()
{
    // Called by the host: nothing may escape into code that cannot catch it.
    try {
        AFX_MANAGE_STATE(AfxGetStaticModuleState());
        CSorvikDlg dlg(nullptr);
        // Without a host context the dialog runs without a database.
        IHostContext* pHost = GetHost();
        dlg.m_pDatabase = pHost ? pHost->GetDatabase() : nullptr;
        const INT_PTR result = dlg.DoModal();
        if (result == -1) {
            const DWORD error = ::GetLastError();
            AfxMessageBox((L"The Sorvik dialog could not be shown (error " + std::to_wstring(error) + L").").c_str(),
                          MB_OK | MB_ICONERROR);
        }
        return result == IDOK;
    } catch (...) {
        return false;
    }
}

IDatabasePlugin* GetPluginInterface()
{
    return &theApp;
}
