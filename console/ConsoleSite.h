#pragma once
// The walk's site for the console program: each file becomes a line of the
// listing and counts; what the dialog would show in a box becomes a line on
// standard error, for a person who is not there. Every member but the
// constructor and Summary runs on the worker thread (the program's main
// thread).
#include "console/ListingWriter.h"
#include "console/ScanCommandLine.h"
#include "console/StatementBatch.h"
#include "scan/ScanSite.h"

#include <atomic>
#include <memory>

struct ScanCounts {
    unsigned long long files = 0;
    unsigned long long folders = 0;
    unsigned long long statements = 0;  // executed without error
    unsigned long long failed = 0;      // statements that failed
    unsigned long long warnings = 0;
};

class CConsoleSite final : public IScanSite, public IStatementQueue, public CStatementBatch::IOutcome {
public:
    CConsoleSite(const ScanCommand& command, CListingWriter& listing);
    // The connection, once it is open; statements are written from then on.
    void SetDatabase(CDatabase* database);
    // From here to FinishBatches the walk's statements run in batches, when
    // the command asks for more than one file a batch. (main thread)
    void StartBatches();
    // Runs the last batch and turns the connection back to one transaction
    // a statement. False when a statement ended the run. (main thread)
    bool FinishBatches();

    ScanOptions& GetScanOptions() override { return m_options; }
    CDatabase* GetScanDatabase() override { return m_pDatabase; }
    CStatementCancel& GetStatementCancel() override { return m_cancel; }
    IStatementQueue* GetStatementQueue() override { return m_pBatch ? this : nullptr; }
    bool Enqueue(const CString& statement) override;
    CString GetFileOwner(const CString& path) override;
    void AddResultRow(const CString& path, const FileFacts& facts) override;
    void OnFolderListed(const CString& folder) override;
    void ReportFolderNotListed(const CString& folder, DWORD error) override;
    void ReportFolderGone(const CString&) override {}
    void ReportFileNotHashed(const CString& path, DWORD error) override;
    bool ContinueAfterStatementError(const FileFacts& facts, const CString& error) override;

    // Writes what the listing still buffers, once the walk has returned; a
    // failure is treated as one during the walk. False once the output is
    // closed or failed. (main thread, after the walk)
    bool FlushListing();

    const ScanCounts& Counts() const { return m_counts; }
    // The output was closed under the listing (a reader such as head has
    // all it wanted): the walk was stopped, quietly.
    bool OutputClosed() const { return m_bOutputClosed; }
    // ... by its reader, not for a write that failed.
    bool ReaderGone() const { return m_bReaderGone; }
    // A line for a person on standard error, never written onto the
    // progress line.
    void Say(const std::wstring& line);
    // A warning line, counted.
    void Warn(const std::wstring& line);
    // The closing line: the counts and the time taken. (main thread)
    std::wstring Summary() const;
    // A line for a run ended while a commit was under way, whose files the
    // summary leaves out though their rows may be written; empty when none
    // was. (any thread)
    std::wstring CommitUnderWay() const;

    ScanOptions m_options;
    CStatementCancel m_cancel;

private:
    void Written(const CStatementBatch::Entry& entry) override;
    bool Failed(const CStatementBatch::Entry& entry, const CString& error) override;
    void JoinRefused() override;
    void ConnectionLost(size_t files, bool committing, const CString& error) override;
    void Replayed(size_t files, const CString& error) override;
    void Committing(size_t files) override;
    // Says a failed statement; true when the walk goes on.
    bool StatementFailed(const CString& path, const CString& error);
    void RunBatch();
    // A file's line of the listing, and its count.
    void ListFormatted(const std::string& line);
    // The listing could not be written: says why (unless its reader closed
    // it) and stops the walk.
    void ListingNotWritten();
    void ShowProgress();

    CDatabase* m_pDatabase;
    CListingWriter& m_listing;
    bool m_bWriting;
    bool m_bContinueOnError;
    bool m_bOutputClosed = false;
    bool m_bReaderGone = false;
    bool m_bStatementFailed = false;  // of the file in progress
    unsigned m_batchFiles;
    std::unique_ptr<CStatementBatch> m_pBatch;
    // The file in progress, while its statement waits in the batch for its
    // listing line.
    CStatementBatch::Entry* m_pQueued = nullptr;
    bool m_bBatchEnded = false;  // a statement of a batch ended the run
    std::atomic<size_t> m_committing{0};  // files whose commit is under way, less those told
    std::string m_line;
    ScanCounts m_counts;
    // Progress goes to a console only, rewritten about once a second.
    bool m_bProgress;
    DWORD m_startTick;
    DWORD m_progressTick;
    size_t m_progressShown = 0;  // the length of the progress line on screen
};

// The closing line of any run, the counts and the time since startTick.
std::wstring ScanSummary(const ScanCounts& counts, DWORD startTick);
