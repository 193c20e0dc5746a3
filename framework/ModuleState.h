#pragma once
// Module state: which module's resources the framework loads from, and the
// application object of that module. Each module links its own copy of the
// framework, so a module's state is current only while switched in.
#include <windows.h>

class CWinApp;

struct AFX_MODULE_STATE {
    HINSTANCE m_hCurrentInstanceHandle = nullptr;  // saved when the module loads
    CWinApp* m_pCurrentWinApp = nullptr;
    HANDLE m_hActCtx = nullptr;  // the module's manifest context, or null
};

// This module's own state.
AFX_MODULE_STATE* AfxGetStaticModuleState();
// The state switched in on this thread, or this module's own state.
AFX_MODULE_STATE* AfxGetModuleState();

HINSTANCE AfxGetResourceHandle();
CWinApp* AfxGetApp();

// Records the module's instance at load and creates the activation context of
// its manifest (resource 2), so that its windows get the controls it names.
void AfxInitModuleState(HINSTANCE hInstance);
void AfxTermModuleState();

// Switches the thread to a module's state and activation context for a scope,
// and restores the caller's on every way out.
class AFX_MAINTAIN_STATE {
public:
    explicit AFX_MAINTAIN_STATE(AFX_MODULE_STATE* pNewState);
    ~AFX_MAINTAIN_STATE();
    AFX_MAINTAIN_STATE(const AFX_MAINTAIN_STATE&) = delete;
    AFX_MAINTAIN_STATE& operator=(const AFX_MAINTAIN_STATE&) = delete;

private:
    AFX_MODULE_STATE* m_pPrevModuleState;
    ULONG_PTR m_ulActCtxCookie = 0;
    bool m_bActivated = false;
};

#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE _ctlState(p)
