#pragma once
// Worker threads in the framework's form: AfxBeginThread runs a procedure
// taking one untyped pointer. The thread object deletes itself when the
// thread ends unless m_bAutoDelete is cleared, which lets its creator wait.
#include "framework/CmdTarget.h"
#include "framework/UniqueHandle.h"

#include <memory>

using AFX_THREADPROC = UINT (*)(LPVOID);

class CWinThread : public CCmdTarget {
public:
    CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);

    DWORD ResumeThread() const { return ::ResumeThread(m_hThread.Get()); }
    HANDLE GetHandle() const { return m_hThread.Get(); }

    BOOL m_bAutoDelete = TRUE;

private:
    friend CWinThread* AfxBeginThread(AFX_THREADPROC, LPVOID, int, UINT, DWORD, LPSECURITY_ATTRIBUTES);
    static unsigned __stdcall ThreadEntry(void* pThread);

    CKernelHandle m_hThread;
    AFX_THREADPROC m_pfnThreadProc;
    LPVOID m_pThreadParams;
};

// Null when the thread cannot be created, also for want of memory.
CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority = THREAD_PRIORITY_NORMAL,
                           UINT nStackSize = 0, DWORD dwCreateFlags = 0,
                           LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

// A thread whose object its creator keeps, to wait for it: begun suspended,
// so that a short procedure cannot end and delete the object first. Null
// when the thread cannot be created.
std::unique_ptr<CWinThread> AfxBeginOwnedThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);

// Waits for a thread to end while still handling messages sent to this
// thread's windows, so that a thread which sends to them cannot deadlock us.
void AfxWaitForThreadPumpingSent(HANDLE hThread);
