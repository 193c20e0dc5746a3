#include "framework/ModuleState.h"
#include "framework/WinApp.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    switch (dwReason) {
    case DLL_PROCESS_ATTACH: {
        AfxInitModuleState(hInstance);
        CWinApp* pApp = AfxGetApp();
        try {
            return pApp && pApp->InitInstance();
        } catch (...) {
            return FALSE;
        }
    }
    case DLL_PROCESS_DETACH:
        AfxTermModuleState();
        break;
    default:
        break;
    }
    return TRUE;
}
