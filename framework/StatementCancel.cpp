#include "framework/StatementCancel.h"

namespace {

class CLock {
public:
    explicit CLock(CRITICAL_SECTION& cs) : m_cs(cs) { ::EnterCriticalSection(&m_cs); }
    ~CLock() { ::LeaveCriticalSection(&m_cs); }
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

private:
    CRITICAL_SECTION& m_cs;
};

// Tick counts wrap after 49 days: compare them by their difference.
bool IsLater(DWORD a, DWORD b)
{
    return static_cast<LONG>(a - b) > 0;
}

}  // namespace

CStatementCancel::CStatementCancel()
{
    ::InitializeCriticalSection(&m_lock);
}

CStatementCancel::~CStatementCancel()
{
    ::DeleteCriticalSection(&m_lock);
}

unsigned CStatementCancel::BeginRound()
{
    CLock lock(m_lock);
    return ++m_round;
}

DWORD CStatementCancel::CancelOverdue(unsigned round, DWORD sinceTick, DWORD graceMs, DWORD repeatMs)
{
    CLock lock(m_lock);
    if (round != m_round || m_hstmt == SQL_NULL_HSTMT)
        return graceMs;
    const DWORD due = m_bCancelled                       ? m_cancelTick + repeatMs
                      : IsLater(m_startTick, sinceTick) ? m_startTick + graceMs
                                                        : sinceTick + graceMs;
    const DWORD now = ::GetTickCount();
    if (IsLater(due, now))
        return due - now;
    ::SQLCancel(m_hstmt);
    m_bCancelled = true;
    m_cancelTick = now;
    return repeatMs;
}

void CStatementCancel::Enter(SQLHSTMT hstmt)
{
    CLock lock(m_lock);
    m_hstmt = hstmt;
    m_bRunning = true;
    m_startTick = ::GetTickCount();
    m_bCancelled = false;
}

bool CStatementCancel::Leave()
{
    CLock lock(m_lock);
    m_hstmt = SQL_NULL_HSTMT;
    m_bRunning = false;
    return m_bCancelled;
}

bool CStatementCancel::RunningFor(DWORD& ms)
{
    CLock lock(m_lock);
    ms = ::GetTickCount() - m_startTick;
    return m_bRunning;
}
