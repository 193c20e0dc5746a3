#pragma once
// Opens SorvikScan's connection on a thread of its own, so that nothing on
// the server's side can hold the program: a server that accepts and never
// answers, or a driver that ignores its login time-out. The wait ends at the
// connection, at an interrupt, or at the deadline; a connection given up is
// left to its thread, which the program's end takes with it.
#include "framework/Database.h"

#include <memory>
#include <string>

enum class OpenOutcome { Opened, Failed, Interrupted, TimedOut };

class CConnectionOpener {
public:
    // Past the login time-out the driver should have given up itself, with
    // its own words; this much longer, the wait ends without them.
    static constexpr DWORD kGraceMs = 2000;

    // interrupted: an event that, once set, ends the wait. error: why the
    // connection did not open.
    OpenOutcome Open(const std::wstring& connection, unsigned loginTimeoutSeconds, HANDLE interrupted,
                     std::wstring& error);
    // The open connection, after Opened; null otherwise.
    CDatabase* Database() const;

private:
    struct Attempt;
    static UINT ThreadProc(LPVOID pParam);  // opening thread

    std::shared_ptr<Attempt> m_attempt;
};
