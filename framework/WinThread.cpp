#include "framework/WinThread.h"

#include <process.h>

#include <new>

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam)
    : m_pfnThreadProc(pfnThreadProc), m_pThreadParams(pParam)
{
}

unsigned __stdcall CWinThread::ThreadEntry(void* pv)
{
    CWinThread* pThread = static_cast<CWinThread*>(pv);
    UINT result = static_cast<UINT>(-1);
    // Nothing may leave a thread procedure: on this platform it would end the
    // host's whole process.
    try {
        result = pThread->m_pfnThreadProc(pThread->m_pThreadParams);
    } catch (...) {
    }
    if (pThread->m_bAutoDelete)
        delete pThread;
    return result;
}

CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority, UINT nStackSize,
                           DWORD dwCreateFlags, LPSECURITY_ATTRIBUTES lpSecurityAttrs)
{
    // Out of memory is one more way for the thread not to be created.
    CWinThread* pThread = new (std::nothrow) CWinThread(pfnThreadProc, pParam);
    if (!pThread)
        return nullptr;
    // Created suspended so that the priority is set, and the object complete,
    // before the procedure runs.
    const uintptr_t handle = ::_beginthreadex(lpSecurityAttrs, nStackSize, &CWinThread::ThreadEntry, pThread,
                                              CREATE_SUSPENDED, nullptr);
    if (handle == 0) {
        delete pThread;
        return nullptr;
    }
    pThread->m_hThread.Reset(reinterpret_cast<HANDLE>(handle));
    ::SetThreadPriority(pThread->m_hThread.Get(), nPriority);
    if (!(dwCreateFlags & CREATE_SUSPENDED))
        pThread->ResumeThread();
    return pThread;
}

std::unique_ptr<CWinThread> AfxBeginOwnedThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam)
{
    std::unique_ptr<CWinThread> pThread(
        AfxBeginThread(pfnThreadProc, pParam, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED, nullptr));
    if (pThread) {
        pThread->m_bAutoDelete = FALSE;
        pThread->ResumeThread();
    }
    return pThread;
}

void AfxWaitForThreadPumpingSent(HANDLE hThread)
{
    while (::MsgWaitForMultipleObjects(1, &hThread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        // Peeking handles the messages sent to us; posted ones stay queued.
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
