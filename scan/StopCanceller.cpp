#include "scan/StopCanceller.h"

CStopCanceller::CStopCanceller(CStatementCancel& cancel, HANDLE walkReturned)
    : m_cancel(cancel), m_walkReturned(walkReturned)
{
}

bool CStopCanceller::Begin(unsigned round)
{
    Wait();
    m_round = round;
    m_stopTick = ::GetTickCount();
    m_pThread = AfxBeginOwnedThread(&CStopCanceller::ThreadProc, this);
    return m_pThread != nullptr;
}

void CStopCanceller::Wait()
{
    if (m_pThread)
        ::WaitForSingleObject(m_pThread->GetHandle(), INFINITE);
    m_pThread.reset();
}

UINT CStopCanceller::ThreadProc(LPVOID pParam)
{
    CStopCanceller* self = static_cast<CStopCanceller*>(pParam);
    DWORD wait;
    do {
        wait = self->m_cancel.CancelOverdue(self->m_round, self->m_stopTick, kGraceMs, kRepeatMs);
    } while (::WaitForSingleObject(self->m_walkReturned, wait) == WAIT_TIMEOUT);
    return 0;
}
