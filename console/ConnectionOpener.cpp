#include "console/ConnectionOpener.h"

#include "console/ConsoleText.h"
#include "framework/WinThread.h"
#include "host/ConnectionString.h"
#include "host/SampleDatabase.h"

#include <new>

struct CConnectionOpener::Attempt {
    CString connection;
    unsigned loginTimeoutSeconds = 0;
    CDatabase database;
    std::wstring error;  // written by the opening thread before it sets done
    CKernelHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

UINT CConnectionOpener::ThreadProc(LPVOID pParam)
{
    // The thread's own share: the attempt outlives a wait that gave up on it.
    const std::unique_ptr<std::shared_ptr<Attempt>> owner(static_cast<std::shared_ptr<Attempt>*>(pParam));
    Attempt& attempt = **owner;
    try {
        attempt.database.SetLoginTimeout(attempt.loginTimeoutSeconds);
        OpenSorvikConnection(attempt.database, attempt.connection);
    } catch (CDBException* e) {
        attempt.error = OneLine(e->m_strError.Str());
        e->Delete();
    } catch (const std::bad_alloc&) {
        attempt.error = L"out of memory";
    }
    ::SetEvent(attempt.done.Get());
    return 0;
}

OpenOutcome CConnectionOpener::Open(const std::wstring& connection, unsigned loginTimeoutSeconds, HANDLE interrupted,
                                    std::wstring& error)
{
    m_attempt = std::make_shared<Attempt>();
    m_attempt->connection = connection.c_str();
    m_attempt->loginTimeoutSeconds = loginTimeoutSeconds;
    CString mendError;
    if (!MendSqlitePathForWine(m_attempt->connection, mendError)) {
        error = OneLine(mendError.Str());
        return OpenOutcome::Failed;
    }
    auto* share = new std::shared_ptr<Attempt>(m_attempt);
    if (!m_attempt->done || !AfxBeginThread(&ThreadProc, share)) {
        delete share;
        error = L"no thread could be started for it";
        return OpenOutcome::Failed;
    }
    const HANDLE events[] = {m_attempt->done.Get(), interrupted};
    switch (::WaitForMultipleObjects(2, events, FALSE, loginTimeoutSeconds * 1000 + kGraceMs)) {
    case WAIT_OBJECT_0:
        error = m_attempt->error;
        return m_attempt->database.IsOpen() ? OpenOutcome::Opened : OpenOutcome::Failed;
    case WAIT_OBJECT_0 + 1:
        return OpenOutcome::Interrupted;
    default:
        error = L"the server did not answer within " + std::to_wstring(loginTimeoutSeconds) + L" s (--login-timeout)";
        return OpenOutcome::TimedOut;
    }
}

CDatabase* CConnectionOpener::Database() const
{
    return m_attempt && m_attempt->database.IsOpen() ? &m_attempt->database : nullptr;
}
