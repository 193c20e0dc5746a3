#pragma once
// Ends the wait for a database that has stopped answering. A server that
// keeps the connection open and never answers (hung, stopped, cut off by a
// firewall that drops rather than refuses) would hold an unattended run for
// as long as the task may run, and the nights after it with it. A thread of
// its own times each statement and commit; one that runs past the limit is
// handed to onTimeout once, which stops the run as an interrupt does.
#include "framework/StatementCancel.h"
#include "framework/UniqueHandle.h"
#include "framework/WinThread.h"

#include <memory>

class CStatementWatch {
public:
    // Given the event that the watch's end sets, to wait on.
    using TimeoutHandler = void (*)(DWORD limitMs, HANDLE watchEnded);

    // Starts watching the calls published in cancel; limitMs 0 watches
    // nothing. onTimeout runs on the watch thread, and the end of the watch
    // waits for it to return.
    CStatementWatch(CStatementCancel& cancel, DWORD limitMs, TimeoutHandler onTimeout);
    // Ends the watch and waits for its thread.
    ~CStatementWatch();
    CStatementWatch(const CStatementWatch&) = delete;
    CStatementWatch& operator=(const CStatementWatch&) = delete;

private:
    static UINT ThreadProc(LPVOID pParam);  // watch thread

    CStatementCancel& m_cancel;
    const DWORD m_limitMs;
    const TimeoutHandler m_onTimeout;
    CKernelHandle m_ended{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::unique_ptr<CWinThread> m_pThread;
};
