#pragma once
// SorvikScan's statements, many files to a transaction. Where the driver
// takes several statements in one execution, a batch goes to the server as
// one text: one round trip instead of one a file. A batch that fails is
// rolled back and run again one statement to a transaction, so that a
// failing statement costs no other file its row and is named with its file
// as ever. A file's outcome is told only once its statement is committed or
// has failed: a run that ends anywhere has told exactly the rows it left.
// Every member runs on the worker thread (the program's main thread).
#include "framework/Database.h"
#include "scan/ScanOptions.h"

#include <string>
#include <vector>

class CStatementBatch {
public:
    struct Entry {
        std::wstring statement;
        CString path;         // for its error line
        std::string listing;  // the file's listing line, if any
    };

    // Told each file's outcome, in the order of the walk.
    class IOutcome {
    public:
        virtual void Written(const Entry& entry) = 0;
        // The statement failed with the driver's text: true goes on.
        virtual bool Failed(const Entry& entry, const CString& error) = 0;
        // The server took no several statements in one execution; from now
        // on each is sent on its own, still a batch to a transaction.
        virtual void JoinRefused() = 0;
        // The connection failed under a batch of files, which go untold;
        // committing: it failed in the commit, which may have taken.
        virtual void ConnectionLost(size_t files, bool committing, const CString& error) = 0;
        // A batch failed for no statement's fault (a deadlock, a lock's
        // time-out) and ran again statement by statement without one.
        virtual void Replayed(size_t files, const CString& error) = 0;
        // The commit of this many files is under way: each file then told
        // Written leaves it, and 0 says that the commit failed.
        virtual void Committing(size_t files) = 0;

    protected:
        ~IOutcome() = default;
    };

    // files: a batch runs once it holds this many. stop: the walk's stop
    // request, which ends a batch run again statement by statement after
    // the statement in progress, as it ends the walk after the file.
    CStatementBatch(CDatabase& database, CStatementCancel& cancel, const CRelaxedFlag& stop, unsigned files,
                    IOutcome& outcome);

    // Queues a statement; its entry is filled in by the caller.
    Entry& Add(const CString& statement);
    // Full, or large or old enough to be run now.
    bool Due() const;
    // Runs what is queued, commits it and tells each outcome. False when the
    // run is to end: a failed statement that the outcome did not go on
    // from, a statement that a stop cancelled, or a lost connection. What was not run is then
    // dropped untold (rolled back), as it is after a stop.
    bool Run();

private:
    // Executes the batch in the transaction open, joined or one by one.
    void Execute();
    void RollbackQuietly();
    // After a batch failed: each statement in a transaction of its own.
    // joinRefused: the joined text failed as if its syntax were wrong; when
    // every statement then runs, joining stops for the run.
    // error: the batch's own.
    bool RunOneByOne(bool joinRefused, const CString& error);
    // Commits what is executed, telling the outcome that it is under way.
    void Commit(size_t files);

    CDatabase& m_database;
    CStatementCancel& m_cancel;
    const CRelaxedFlag& m_stop;
    IOutcome& m_outcome;
    const size_t m_files;
    bool m_bJoin;
    std::vector<Entry> m_entries;
    size_t m_chars = 0;
    DWORD m_firstTick = 0;
    std::wstring m_joined;
};
