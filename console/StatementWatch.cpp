#include "console/StatementWatch.h"

CStatementWatch::CStatementWatch(CStatementCancel& cancel, DWORD limitMs, TimeoutHandler onTimeout)
    : m_cancel(cancel), m_limitMs(limitMs), m_onTimeout(onTimeout)
{
    if (m_limitMs != 0 && m_ended)
        m_pThread = AfxBeginOwnedThread(&CStatementWatch::ThreadProc, this);
}

CStatementWatch::~CStatementWatch()
{
    if (!m_pThread)
        return;
    ::SetEvent(m_ended.Get());
    ::WaitForSingleObject(m_pThread->GetHandle(), INFINITE);
}

UINT CStatementWatch::ThreadProc(LPVOID pParam)
{
    CStatementWatch* self = static_cast<CStatementWatch*>(pParam);
    for (;;) {
        DWORD ranMs = 0;
        const bool running = self->m_cancel.RunningFor(ranMs);
        if (running && ranMs >= self->m_limitMs) {
            self->m_onTimeout(self->m_limitMs, self->m_ended.Get());
            return 0;
        }
        // A call that starts meanwhile is overdue no sooner than a whole
        // limit from now.
        const DWORD wait = running ? self->m_limitMs - ranMs : self->m_limitMs;
        if (::WaitForSingleObject(self->m_ended.Get(), wait) != WAIT_TIMEOUT)
            return 0;
    }
}
