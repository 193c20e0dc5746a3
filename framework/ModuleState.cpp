#include "framework/ModuleState.h"

namespace {

// Constant-initialised, so that it is whole before any dynamic initialiser of
// the module runs: the application object's constructor writes into it.
__constinit AFX_MODULE_STATE g_moduleState;
thread_local AFX_MODULE_STATE* t_pCurrentState = nullptr;

}  // namespace

AFX_MODULE_STATE* AfxGetStaticModuleState()
{
    return &g_moduleState;
}

AFX_MODULE_STATE* AfxGetModuleState()
{
    return t_pCurrentState ? t_pCurrentState : &g_moduleState;
}

HINSTANCE AfxGetResourceHandle()
{
    // Outside any switched-in state, resources come from the process's program,
    // as they do for a host that never switched to the module.
    return t_pCurrentState ? t_pCurrentState->m_hCurrentInstanceHandle : ::GetModuleHandleW(nullptr);
}

CWinApp* AfxGetApp()
{
    return AfxGetModuleState()->m_pCurrentWinApp;
}

void AfxInitModuleState(HINSTANCE hInstance)
{
    g_moduleState.m_hCurrentInstanceHandle = hInstance;
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(hInstance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;  // without its manifest the module still works, with the system's default controls
    ACTCTXW context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path;
    context.hModule = hInstance;
    context.lpResourceName = MAKEINTRESOURCEW(2);  // ISOLATIONAWARE_MANIFEST_RESOURCE_ID
    const HANDLE hActCtx = ::CreateActCtxW(&context);
    g_moduleState.m_hActCtx = hActCtx == INVALID_HANDLE_VALUE ? nullptr : hActCtx;
}

void AfxTermModuleState()
{
    if (g_moduleState.m_hActCtx) {
        ::ReleaseActCtx(g_moduleState.m_hActCtx);
        g_moduleState.m_hActCtx = nullptr;
    }
}

AFX_MAINTAIN_STATE::AFX_MAINTAIN_STATE(AFX_MODULE_STATE* pNewState) : m_pPrevModuleState(t_pCurrentState)
{
    t_pCurrentState = pNewState;
    if (pNewState->m_hActCtx)
        m_bActivated = ::ActivateActCtx(pNewState->m_hActCtx, &m_ulActCtxCookie) != FALSE;
}

AFX_MAINTAIN_STATE::~AFX_MAINTAIN_STATE()
{
    if (m_bActivated)
        ::DeactivateActCtx(0, m_ulActCtxCookie);
    t_pCurrentState = m_pPrevModuleState;
}
