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
    m_bCancelled = false;
    return ++m_round;
}

void CStatementCancel::Cancel(unsigned round)
{
    CLock lock(m_lock);
    if (round != m_round)
        return;
    m_bCancelled = true;
    if (m_hstmt != SQL_NULL_HSTMT)
        ::SQLCancel(m_hstmt);
}

bool CStatementCancel::Enter(SQLHSTMT hstmt)
{
    CLock lock(m_lock);
    if (m_bCancelled)
        return false;
    m_hstmt = hstmt;
    return true;
}

bool CStatementCancel::Leave()
{
    CLock lock(m_lock);
    m_hstmt = SQL_NULL_HSTMT;
    return m_bCancelled;
}
