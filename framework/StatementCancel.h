#pragma once
// Lets one thread cancel the statements another thread runs on a connection.
// ODBC allows SQLCancel from any thread but says nothing of which statement
// is running, and a handle may be freed and its value reused at any moment.
// So the executing thread publishes each statement handle here, under a
// lock, for the length of its execution; and a cancel names a round (one
// walk), not a handle, so that it never reaches another walk's statement.
#include <windows.h>
#include <sql.h>

class CStatementCancel {
public:
    CStatementCancel();
    ~CStatementCancel();
    CStatementCancel(const CStatementCancel&) = delete;
    CStatementCancel& operator=(const CStatementCancel&) = delete;

    // Starts a new round, leaving every earlier one behind; returns its number.
    unsigned BeginRound();

    // Cancels the round's running statement once it has run for graceMs
    // since the later of sinceTick and its own start, and again every
    // repeatMs while it runs on: some drivers lose a cancel that comes just
    // as the statement starts. Returns how long to wait before the next
    // call; a statement not yet started is overdue no sooner than graceMs
    // from now. Calls into the driver with the lock held, so that the handle
    // cannot be freed meanwhile; the driver may wait on the network: never
    // call this on a window's thread.
    DWORD CancelOverdue(unsigned round, DWORD sinceTick, DWORD graceMs, DWORD repeatMs);

    // Used by the executing thread around one execution. Leave is true when
    // the statement was cancelled while it ran. A call with no statement
    // handle (a commit) is published too, to be timed though not cancelled.
    void Enter(SQLHSTMT hstmt);
    bool Leave();

    // How long the call in progress, of any round, has run; false when none
    // is. (any thread)
    bool RunningFor(DWORD& ms);

private:
    CRITICAL_SECTION m_lock;
    unsigned m_round = 0;
    // The running statement, when it started, and when it was last cancelled.
    SQLHSTMT m_hstmt = SQL_NULL_HSTMT;
    bool m_bRunning = false;
    DWORD m_startTick = 0;
    bool m_bCancelled = false;
    DWORD m_cancelTick = 0;
};

// A call with no statement to cancel (a commit, a change of the transaction
// mode) published for the length of its scope, so that it is timed as a
// statement is.
class CTimedCall {
public:
    explicit CTimedCall(CStatementCancel& cancel) : m_cancel(cancel) { m_cancel.Enter(SQL_NULL_HSTMT); }
    ~CTimedCall() { m_cancel.Leave(); }
    CTimedCall(const CTimedCall&) = delete;
    CTimedCall& operator=(const CTimedCall&) = delete;

private:
    CStatementCancel& m_cancel;
};
