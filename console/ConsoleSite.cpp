#include "console/ConsoleSite.h"

#include "framework/FileFind.h"
#include "scan/FileOwner.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr DWORD kProgressMs = 1000;

bool IsPipeClosed(DWORD error)
{
    // Wine reports a Unix pipe whose reader has gone (EPIPE) as "no process
    // is on the other end of the pipe".
    return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
}

}  // namespace

CConsoleSite::CConsoleSite(const ScanCommand& command, CListingWriter& listing)
    : m_pDatabase(nullptr),
      m_listing(listing),
      m_bWriting(false),
      m_bContinueOnError(command.continueOnError),
      m_batchFiles(command.batchFiles),
      m_bProgress(CConsoleText(STD_ERROR_HANDLE).IsConsole()),
      m_startTick(::GetTickCount()),
      m_progressTick(m_startTick)
{
    m_options.m_bShowOwner = command.owner;
    m_options.m_bHashContent = command.hash;
    m_options.m_scope = command.scope;
    // Every file comes back as a row: it is counted even when not listed.
    m_options.m_bShowResults = true;
}

void CConsoleSite::SetDatabase(CDatabase* database)
{
    m_pDatabase = database;
    m_bWriting = database != nullptr;
    m_options.m_bWriteToDatabase = m_bWriting;
}

CString CConsoleSite::GetFileOwner(const CString& path)
{
    // The value stays the dialog's text; a script is told besides.
    DWORD failure = ERROR_SUCCESS;
    CString owner = LookupFileOwner(path, &failure);
    if (failure != ERROR_SUCCESS)
        Warn(L"warning: " + OneLine(path.Str()) + L": the owner cannot be looked up (error " +
             std::to_wstring(failure) + L")");
    return owner;
}

void CConsoleSite::StartBatches()
{
    if (!m_pDatabase || m_batchFiles <= 1)
        return;
    try {
        const CTimedCall timed(m_cancel);
        m_pDatabase->SetAutoCommit(false);
    } catch (CDBException* e) {
        Say(L"SorvikScan: the connection keeps one transaction a statement (" + OneLine(e->m_strError.Str()) +
            L"); the statements run one by one.");
        e->Delete();
        return;
    }
    m_pBatch = std::make_unique<CStatementBatch>(*m_pDatabase, m_cancel, m_options.m_bStop, m_batchFiles, *this);
}

bool CConsoleSite::FinishBatches()
{
    if (!m_pBatch)
        return true;
    if (!m_bBatchEnded)
        RunBatch();
    m_pBatch.reset();
    // Only the closing statements, which an ended run does not run, need
    // a statement a transaction again.
    if (m_bBatchEnded)
        return false;
    try {
        const CTimedCall timed(m_cancel);
        m_pDatabase->SetAutoCommit(true);
    } catch (CDBException* e) {
        Say(L"error: " + OneLine(e->m_strError.Str()));
        e->Delete();
        return false;
    }
    return true;
}

bool CConsoleSite::Enqueue(const CString& statement)
{
    if (m_bBatchEnded)
        return false;
    m_pQueued = &m_pBatch->Add(statement);
    return true;
}

void CConsoleSite::RunBatch()
{
    if (!m_pBatch->Run()) {
        m_bBatchEnded = true;
        m_options.m_bStop = true;
    }
    // The lines of a committed batch go out with it: a run that the give-up
    // after a stop ends at once keeps every line of the rows it wrote.
    FlushListing();
}

void CConsoleSite::AddResultRow(const CString& path, const FileFacts& facts)
{
    bool replaced = false;
    if (m_pQueued) {
        // Listed once its statement is committed, with the batch.
        m_pQueued->path = path;
        m_listing.Format(facts, m_pQueued->listing, replaced);
        m_pQueued = nullptr;
    } else {
        if (m_bWriting && !m_bStatementFailed)
            ++m_counts.statements;
        m_bStatementFailed = false;
        m_line.clear();
        m_listing.Format(facts, m_line, replaced);
        ListFormatted(m_line);
    }
    if (replaced)
        Warn(L"warning: " + OneLine(path.Str()) + L": the name holds a character that UTF-8 cannot carry; CSV shows it as U+FFFD");
    if (m_pBatch && m_pBatch->Due())
        RunBatch();
}

void CConsoleSite::ListFormatted(const std::string& line)
{
    ++m_counts.files;
    if (!m_bOutputClosed && !m_listing.WriteFormatted(line))
        ListingNotWritten();
    ShowProgress();
}

void CConsoleSite::Written(const CStatementBatch::Entry& entry)
{
    ++m_counts.statements;
    // Counted from here on: a give-up while the listing waits on its reader
    // leaves it out of the committed files that the summary does not count.
    if (m_committing)
        --m_committing;
    ListFormatted(entry.listing);
}

bool CConsoleSite::Failed(const CStatementBatch::Entry& entry, const CString& error)
{
    if (!StatementFailed(entry.path, error))
        return false;
    ListFormatted(entry.listing);
    return true;
}

void CConsoleSite::ConnectionLost(size_t files, bool committing, const CString& error)
{
    Say(L"error: the connection failed " +
        std::wstring(committing ? L"while a batch of " : L"in a batch of ") + std::to_wstring(files) +
        (committing ? L" files was committed, which may or may not have taken; they are not listed: "
                    : L" files, which was rolled back; they are not listed: ") +
        OneLine(error.Str()));
}

void CConsoleSite::Replayed(size_t files, const CString& error)
{
    Say(L"SorvikScan: a batch of " + std::to_wstring(files) + L" files failed (" + OneLine(error.Str()) +
        L") and ran again a statement at a time; every statement was written.");
}

void CConsoleSite::Committing(size_t files)
{
    m_committing = files;
}

std::wstring CConsoleSite::CommitUnderWay() const
{
    const size_t files = m_committing;
    if (!files)
        return L"";
    return L"SorvikScan: it was committing the statements of " + std::to_wstring(files) +
           L" files: their rows may be written, though neither counted nor listed.";
}

void CConsoleSite::JoinRefused()
{
    Say(L"SorvikScan: the server takes no several statements in one execution; from now on each is sent on its "
        L"own, still many to a transaction (MariaDB takes them with OPTION=67108864 in the connection string).");
}

void CConsoleSite::ListingNotWritten()
{
    const DWORD error = ::GetLastError();
    m_bReaderGone = IsPipeClosed(error);
    if (!m_bReaderGone)
        Warn(L"warning: the listing cannot be written (error " + std::to_wstring(error) + L"); the walk stops.");
    m_bOutputClosed = true;
    m_options.m_bStop = true;
}

bool CConsoleSite::FlushListing()
{
    // A small listing is written only here: a full disk must be told here too.
    if (!m_bOutputClosed && !m_listing.Flush())
        ListingNotWritten();
    return !m_bOutputClosed;
}

void CConsoleSite::OnFolderListed(const CString&)
{
    ++m_counts.folders;
    ShowProgress();
}

void CConsoleSite::ReportFolderNotListed(const CString& folder, DWORD error)
{
    // A folder entered under a pattern that nothing in it matches is no
    // fault; a folder that is not there, said with the same code (a typed
    // "\\?\UNC\" is one), is: a nightly run that saw nothing must not pass
    // for a complete one.
    if (error == ERROR_FILE_NOT_FOUND && GetPathKind(folder) == PathKind::Folder)
        return;
    Warn(L"warning: " + OneLine(folder.Str()) + L": cannot be listed (error " + std::to_wstring(error) + L")");
}

void CConsoleSite::ReportFileNotHashed(const CString& path, DWORD error)
{
    Warn(L"warning: " + OneLine(path.Str()) + L": cannot be read for its SHA-256 (error " + std::to_wstring(error) +
         L")");
}

bool CConsoleSite::ContinueAfterStatementError(const FileFacts& facts, const CString& error)
{
    m_bStatementFailed = true;  // for the row that follows when the walk goes on
    return StatementFailed(facts.m_strFilePath, error);
}

bool CConsoleSite::StatementFailed(const CString& path, const CString& error)
{
    Say(L"error: " + OneLine(path.Str()) + L": " + OneLine(error.Str()));
    ++m_counts.failed;
    return m_bContinueOnError;
}

void CConsoleSite::Say(const std::wstring& line)
{
    if (m_progressShown) {
        CConsoleText(STD_ERROR_HANDLE).Write(L"\r" + std::wstring(m_progressShown, L' ') + L"\r");
        m_progressShown = 0;
    }
    PrintError(line);
}

void CConsoleSite::Warn(const std::wstring& line)
{
    Say(line);
    ++m_counts.warnings;
}

void CConsoleSite::ShowProgress()
{
    if (!m_bProgress || ::GetTickCount() - m_progressTick < kProgressMs)
        return;
    m_progressTick = ::GetTickCount();
    const std::wstring line = ScanSummary(m_counts, m_startTick);
    CConsoleText(STD_ERROR_HANDLE).Write(L"\r" + line + std::wstring(m_progressShown > line.size() ? m_progressShown - line.size() : 0, L' '));
    m_progressShown = std::max(m_progressShown, line.size());
}

std::wstring CConsoleSite::Summary() const
{
    return ScanSummary(m_counts, m_startTick);
}

std::wstring ScanSummary(const ScanCounts& counts, DWORD startTick)
{
    const DWORD elapsed = ::GetTickCount() - startTick;
    wchar_t rate[32];
    std::swprintf(rate, 32, L"%.0f", elapsed ? counts.files * 1000.0 / elapsed : 0.0);
    wchar_t seconds[32];
    std::swprintf(seconds, 32, L"%.1f", elapsed / 1000.0);
    std::wstring text = L"SorvikScan: " + std::to_wstring(counts.files) + L" files, " +
                        std::to_wstring(counts.folders) + L" folders, " + std::to_wstring(counts.statements) +
                        L" statements";
    if (counts.failed)
        text += L" (" + std::to_wstring(counts.failed) + L" failed)";
    return text + L", " + std::to_wstring(counts.warnings) + L" warnings, " + rate + L" files/s, in " + seconds + L" s";
}
