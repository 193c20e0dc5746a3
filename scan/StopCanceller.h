#pragma once
// Stopping a walk whose statement the database holds. A stop lets the file
// in progress finish, its statement included; a canceller thread ends that
// statement only once it has run for a grace since the later of the stop and
// its own start, and repeats the cancel until the walk returns. The thread
// touches no window: a driver's cancel may wait on the network.
#include "framework/StatementCancel.h"
#include "framework/WinThread.h"

#include <memory>

class CStopCanceller {
public:
    // A statement that ends on its own within this time is never cancelled.
    static constexpr DWORD kGraceMs = 1000;
    // Some drivers lose a cancel that arrives just as a statement starts.
    static constexpr DWORD kRepeatMs = 500;

    // walkReturned: a manual-reset event that the worker sets when the walk
    // returns. Neither is owned.
    CStopCanceller(CStatementCancel& cancel, HANDLE walkReturned);
    ~CStopCanceller() { Wait(); }
    CStopCanceller(const CStopCanceller&) = delete;
    CStopCanceller& operator=(const CStopCanceller&) = delete;

    // The round's walk is asked to stop now: begins the canceller thread. False
    // when no thread can be made; the stop then waits for the statement.
    bool Begin(unsigned round);
    // Waits for the canceller thread, which ends soon after the walk returns.
    void Wait();

private:
    static UINT ThreadProc(LPVOID pParam);  // canceller thread

    CStatementCancel& m_cancel;
    HANDLE m_walkReturned;
    // Set before the thread starts, read only by it.
    unsigned m_round = 0;
    DWORD m_stopTick = 0;
    std::unique_ptr<CWinThread> m_pThread;
};
