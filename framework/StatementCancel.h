#pragma once
// Lets one thread cancel the statements another thread runs on a connection.
// ODBC allows SQLCancel from any thread but says nothing of which statement
// is running, and a handle may be freed and its value reused at any moment.
// So the executing thread publishes each statement handle here, under a
// lock, for the length of its execution; and a cancel names a round (one
// walk), not a handle. Once a round is cancelled its running statement is
// cancelled and every later statement of it is refused before it starts; a
// cancel of an earlier round reaches nothing.
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

    // Cancels the round: its running statement, if any, and all it would
    // start later. Calls into the driver with the lock held, so that the
    // handle cannot be freed meanwhile; the driver may wait on the network:
    // never call this on a window's thread. Some drivers lose a cancel that
    // comes just as the statement starts: callers repeat it.
    void Cancel(unsigned round);

    // Used by the executing thread around one execution. Enter is false when
    // the current round is cancelled already: the statement must not run.
    // Leave is true when the round was cancelled while it ran.
    bool Enter(SQLHSTMT hstmt);
    bool Leave();

private:
    CRITICAL_SECTION m_lock;
    unsigned m_round = 0;
    bool m_bCancelled = false;  // of m_round
    SQLHSTMT m_hstmt = SQL_NULL_HSTMT;
};
