#include "console/StatementBatch.h"

#include <cwchar>
#include <cwctype>

namespace {

// Past these a batch runs whatever its count: a server's packet limit
// (MariaDB's is 16 MiB by default, 1 MiB where set low; a character takes up
// to three bytes), and a slow walk's files kept from the table.
constexpr size_t kMostChars = 256 * 1024;
constexpr DWORD kOldestMs = 2000;

// A statement's own end, less the blanks and semicolons behind it: an empty
// statement between two is an error to MariaDB.
size_t StatementEnd(const std::wstring& statement)
{
    size_t end = statement.size();
    while (end && (statement[end - 1] == L';' || std::iswspace(statement[end - 1])))
        --end;
    return end;
}

}  // namespace

CStatementBatch::CStatementBatch(CDatabase& database, CStatementCancel& cancel, const CRelaxedFlag& stop,
                                 unsigned files, IOutcome& outcome)
    : m_database(database),
      m_cancel(cancel),
      m_stop(stop),
      m_outcome(outcome),
      m_files(files),
      m_bJoin(database.TakesStatementBatches())
{
    m_entries.reserve(files);
}

CStatementBatch::Entry& CStatementBatch::Add(const CString& statement)
{
    if (m_entries.empty())
        m_firstTick = ::GetTickCount();
    m_chars += static_cast<size_t>(statement.GetLength());
    Entry& entry = m_entries.emplace_back();
    entry.statement.assign(statement.GetString(), static_cast<size_t>(statement.GetLength()));
    return entry;
}

bool CStatementBatch::Due() const
{
    return m_entries.size() >= m_files || m_chars >= kMostChars ||
           (!m_entries.empty() && ::GetTickCount() - m_firstTick >= kOldestMs);
}

bool CStatementBatch::Run()
{
    if (m_entries.empty())
        return true;
    bool joinRefused = false;
    bool cancelled = false;
    bool committing = false;
    CString lost;
    CString error;
    try {
        Execute();
        committing = true;
        Commit(m_entries.size());
        for (const Entry& entry : m_entries)
            m_outcome.Written(entry);
        m_entries.clear();
        m_chars = 0;
        return true;
    } catch (CDBException* e) {
        error = e->m_strError;
        cancelled = e->m_bCancelled;
        // A server that takes no several statements calls the text's
        // syntax wrong; a deadlock or a lost connection says nothing of it.
        joinRefused = m_bJoin && m_entries.size() > 1 && !e->m_records.empty() &&
                      std::wcsncmp(e->m_records.front().strState.GetString(), L"42", 2) == 0;
        if (e->IsConnectionLost())
            lost = e->m_strError;
        e->Delete();
    }
    RollbackQuietly();
    // Run again statement by statement, each would fail in turn, named
    // with a file it has nothing to do with.
    if (!lost.IsEmpty())
        m_outcome.ConnectionLost(m_entries.size(), committing, lost);
    const bool goOn = !cancelled && lost.IsEmpty() && RunOneByOne(joinRefused, error);
    m_entries.clear();
    m_chars = 0;
    return goOn;
}

void CStatementBatch::Execute()
{
    if (!m_bJoin || m_entries.size() == 1) {
        for (const Entry& entry : m_entries)
            m_database.ExecuteSQL(entry.statement.c_str(), &m_cancel);
        return;
    }
    // On a line of its own: a template may end in a line comment.
    m_joined.clear();
    for (const Entry& entry : m_entries) {
        if (!m_joined.empty())
            m_joined += L"\n;\n";
        m_joined.append(entry.statement, 0, StatementEnd(entry.statement));
    }
    m_database.ExecuteSQL(m_joined.c_str(), &m_cancel);
}

void CStatementBatch::Commit(size_t files)
{
    // A commit that the stop's give-up cuts off may still take: the give-up
    // says so rather than a summary that leaves these files out unsaid.
    m_outcome.Committing(files);
    try {
        const CTimedCall timed(m_cancel);
        m_database.CommitTrans();
    } catch (CDBException*) {
        m_outcome.Committing(0);
        throw;
    }
}

void CStatementBatch::RollbackQuietly()
{
    // A connection that is gone has nothing to roll back; its error shows
    // at the next statement.
    try {
        const CTimedCall timed(m_cancel);
        m_database.Rollback();
    } catch (CDBException* e) {
        e->Delete();
    }
}

bool CStatementBatch::RunOneByOne(bool joinRefused, const CString& batchError)
{
    bool allWritten = true;
    for (const Entry& entry : m_entries) {
        if (m_stop)
            return true;
        CString error;
        bool cancelled = false;
        bool lost = false;
        bool committing = false;
        try {
            m_database.ExecuteSQL(entry.statement.c_str(), &m_cancel);
            committing = true;
            Commit(1);
            m_outcome.Written(entry);
            continue;
        } catch (CDBException* e) {
            cancelled = e->m_bCancelled;
            lost = e->IsConnectionLost();
            error = e->m_strError;
            e->Delete();
        }
        RollbackQuietly();
        // The connection went during the replay: no file's fault, and every
        // statement after would fail the same way.
        if (lost) {
            // Cut off in its commit, only this file may have taken; those
            // after it were never written.
            const size_t left = static_cast<size_t>(&m_entries.back() - &entry) + 1;
            if (committing)
                m_outcome.ConnectionLost(1, true, error);
            if (left > (committing ? 1u : 0u))
                m_outcome.ConnectionLost(left - (committing ? 1 : 0), false, error);
            return false;
        }
        allWritten = false;
        if (cancelled || !m_outcome.Failed(entry, error))
            return false;
    }
    if (!allWritten)
        return true;
    // Every statement ran on its own, so the joined text was what failed,
    // or what the batch met was passing: a DBA still wants to hear of it.
    if (joinRefused) {
        m_bJoin = false;
        m_outcome.JoinRefused();
    } else {
        m_outcome.Replayed(m_entries.size(), batchError);
    }
    return true;
}
