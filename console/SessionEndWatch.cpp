#include "console/SessionEndWatch.h"

const wchar_t CSessionEndWatch::kClassName[] = L"SorvikScanSessionEnd";

namespace {

void (*g_onEnd)();  // the window procedure takes no parameter of ours

}  // namespace

CSessionEndWatch::CSessionEndWatch(void (*onEnd)())
{
    g_onEnd = onEnd;
    m_thread = ::CreateThread(nullptr, 0, &CSessionEndWatch::ThreadProc, this, 0, &m_threadId);
}

CSessionEndWatch::~CSessionEndWatch()
{
    if (!m_thread)
        return;
    // Posted until the thread's queue exists and takes it.
    while (!::PostThreadMessageW(m_threadId, WM_QUIT, 0, 0) &&
           ::WaitForSingleObject(m_thread, 10) == WAIT_TIMEOUT) {
    }
    ::WaitForSingleObject(m_thread, INFINITE);
    ::CloseHandle(m_thread);
}

DWORD WINAPI CSessionEndWatch::ThreadProc(LPVOID)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &CSessionEndWatch::WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    ::RegisterClassW(&windowClass);
    // A top-level window, never shown: a message-only one hears no broadcast.
    const HWND window = ::CreateWindowExW(0, kClassName, L"SorvikScan", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                          windowClass.hInstance, nullptr);
    MSG msg;
    while (window && ::GetMessageW(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&msg);
    if (window)
        ::DestroyWindow(window);
    return 0;
}

LRESULT CALLBACK CSessionEndWatch::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (wParam)
            g_onEnd();
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}
