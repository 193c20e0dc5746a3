// SorvikScan: Sorvik's walk without a window, for scripts and scheduled
// tasks. The same engine as the dialog's; this program is its console site.
#include "console/ConnectionOpener.h"
#include "console/ConsoleSite.h"
#include "console/FolderSpelling.h"
#include "console/ScanCommandLine.h"
#include "console/SessionEndWatch.h"
#include "console/StepStatements.h"
#include "console/StatementWatch.h"
#include "framework/UniqueHandle.h"
#include "scan/FolderWalk.h"
#include "scan/StopCanceller.h"

#include <shellapi.h>

#include <new>

namespace {

// A walk that the console's control handler can stop: the handler runs on a
// thread of its own.
struct RunningWalk {
    ScanOptions& options;
    CStopCanceller& canceller;
    unsigned round;
};

// What the handler shares with the program; it takes no parameter, hence a
// global. Installed first thing, so that no interrupt finds the system's
// handler, which would end the program with nothing said.
struct StopControl {
    CRITICAL_SECTION lock;
    RunningWalk* walk = nullptr;
    // The exit code of the first stop, kScanDone until one: an interrupt's,
    // or a database error's when the server stopped answering.
    int code = kScanDone;
    // The run's site, for a program that has to end without its walk.
    const CConsoleSite* site = nullptr;
    CKernelHandle interrupt{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // set at the first interrupt
    CKernelHandle finished{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};   // set once the summary is out
    StopControl() { ::InitializeCriticalSection(&lock); }
};
StopControl g_stop;

void StopWalk(const RunningWalk& walk)
{
    walk.options.m_bStop = true;
    walk.canceller.Begin(walk.round);
}

// Makes walk the one that an interrupt stops (null: none). True once the
// program is interrupted: a walk attached then is stopped at once.
bool AttachWalk(RunningWalk* walk)
{
    ::EnterCriticalSection(&g_stop.lock);
    g_stop.walk = walk;
    if (walk && g_stop.code != kScanDone)
        StopWalk(*walk);
    const bool interrupted = g_stop.code != kScanDone;
    ::LeaveCriticalSection(&g_stop.lock);
    return interrupted;
}

int StopCode()
{
    ::EnterCriticalSection(&g_stop.lock);
    const int code = g_stop.code;
    ::LeaveCriticalSection(&g_stop.lock);
    return code;
}

bool Interrupted()
{
    return StopCode() != kScanDone;
}

// The walk stops after the file in progress, as the dialog's Stop does;
// a connection still opening is given up. The first stop's code is the run's.
void Interrupt(int code)
{
    ::EnterCriticalSection(&g_stop.lock);
    if (g_stop.code == kScanDone) {
        if (g_stop.walk)
            StopWalk(*g_stop.walk);
        g_stop.code = code;
    }
    ::SetEvent(g_stop.interrupt.Get());
    ::LeaveCriticalSection(&g_stop.lock);
}

// The site whose summary an interrupt gives when the walk cannot (null: none).
void AttachSite(const CConsoleSite* site)
{
    ::EnterCriticalSection(&g_stop.lock);
    g_stop.site = site;
    ::LeaveCriticalSection(&g_stop.lock);
}

// After a stop, the walk ends as soon as the driver gives back its
// statement, cancelled if need be; a server that hangs (stopped, or cut off
// without a word) may never answer the cancel, and a nightly task must end.
constexpr DWORD kGiveUpMs = 10000;

// Ends the program with the summary as it stands, when the walk has not
// returned from the database kGiveUpMs after a stop; rows already written
// stay. Before the site is attached, or once it is gone, nothing is held.
void GiveUp()
{
    ::EnterCriticalSection(&g_stop.lock);
    if (g_stop.site) {
        PrintError(L"SorvikScan: the database has not given back its statement since the stop; ending without it.");
        const std::wstring committing = g_stop.site->CommitUnderWay();
        if (!committing.empty())
            PrintError(committing);
        PrintError(g_stop.site->Summary());
        ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(g_stop.code));
    }
    ::LeaveCriticalSection(&g_stop.lock);
}

// Stops the run and waits for the walk to end and the summary to be out:
// the console closing, a log-off or a shut-down ends the process as soon as
// its handler returns.
void InterruptAndWait()
{
    Interrupt(kScanInterrupted);
    if (::WaitForSingleObject(g_stop.finished.Get(), kGiveUpMs) == WAIT_OBJECT_0)
        return;
    GiveUp();
    ::WaitForSingleObject(g_stop.finished.Get(), INFINITE);
}

BOOL WINAPI OnConsoleControl(DWORD)
{
    InterruptAndWait();
    return TRUE;
}

// A statement or commit past --statement-timeout: the server has stopped
// answering, which is a database error, not an interrupt. The walk then ends
// as after an interrupt, or is given up. (watch thread)
void OnStatementTimeout(DWORD limitMs, HANDLE watchEnded)
{
    // A run already stopping (Ctrl+C) ends as that stop says, and gives up
    // on its own; the lock makes the first stop the one that speaks.
    ::EnterCriticalSection(&g_stop.lock);
    const bool first = g_stop.code == kScanDone;
    if (first) {
        PrintError(L"error: the database has not answered for " + std::to_wstring(limitMs / 1000) +
                   L" s (--statement-timeout); the run stops.");
        Interrupt(kScanDatabaseError);
    }
    ::LeaveCriticalSection(&g_stop.lock);
    if (first && ::WaitForSingleObject(watchEnded, kGiveUpMs) == WAIT_TIMEOUT)
        GiveUp();
}

// The statements of --before-sql or --after-sql, in order, each cancellable
// as a file's is. False, having said why, at the first that fails.
bool RunSteps(const std::vector<std::wstring>& steps, const wchar_t* option, CConsoleSite& site, CDatabase& database)
{
    for (const std::wstring& step : steps) {
        if (Interrupted())
            return false;
        try {
            database.ExecuteSQL(step.c_str(), &site.m_cancel);
        } catch (CDBException* e) {
            if (!e->m_bCancelled)
                site.Say(std::wstring(L"error: ") + option + L": " + OneLine(e->m_strError.Str()));
            e->Delete();
            return false;
        }
    }
    return true;
}

// The walk's outcome as an exit code, before any closing step.
int WalkOutcome(const ScanCounts& counts, bool ended, bool closed, bool writing)
{
    if (!ended)
        return kScanDatabaseError;
    return counts.warnings || counts.failed || (closed && writing) ? kScanWarnings : kScanDone;
}

// Opening steps, the walk, closing steps: all on one connection, and all
// stopped by an interrupt as the walk is.
int Scan(const ScanCommand& command, CConsoleSite& site, CListingWriter& listing, CDatabase* database)
{
    const CKernelHandle walkReturned(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CStopCanceller canceller(site.m_cancel, walkReturned.Get());
    RunningWalk running{site.m_options, canceller, site.m_cancel.BeginRound()};

    int code = kScanDone;
    bool closed = !listing.Begin();
    if (!closed && !AttachWalk(&running)) {
        if (database && !RunSteps(ExpandSteps(command.opening, command.folders), L"--before-sql", site, *database)) {
            // The CSV header still goes out: an empty file is no CSV.
            site.FlushListing();
            code = kScanDatabaseError;
        } else {
            site.StartBatches();
            CFolderWalk walk(site);
            bool ended = walk.ScanFolders(command.folders, command.pattern.c_str(), command.sql.c_str());
            ended = site.FinishBatches() && ended;
            closed = !site.FlushListing();
            // A reader that closed the listing had what it wanted; the
            // database, though, did not get every file.
            if (closed && database && site.ReaderGone())
                site.Warn(L"warning: the listing's reader closed it; the walk stopped before its end");
            code = WalkOutcome(site.Counts(), ended, closed, database != nullptr);
        }
        if (database && !command.closing.empty()) {
            if (code == kScanDone && !Interrupted()) {
                if (!RunSteps(ExpandSteps(command.closing, command.folders), L"--after-sql", site, *database))
                    code = kScanDatabaseError;
            } else {
                site.Say(L"The --after-sql statements were not run: the run did not end with 0.");
            }
        }
    }
    ::SetEvent(walkReturned.Get());
    const bool interrupted = AttachWalk(nullptr);
    canceller.Wait();
    return interrupted ? StopCode() : code;
}

// Opens the connection, if any, then scans; every ending gets the summary.
int OpenAndScan(const ScanCommand& command)
{
    const CConsoleText out(STD_OUTPUT_HANDLE);
    CListingWriter listing(out, command.list, command.byteOrderMark);
    CConsoleSite site(command, listing);
    CConnectionOpener opener;
    int code = kScanDone;
    if (!command.connection.empty()) {
        std::wstring error;
        switch (opener.Open(command.connection, command.loginTimeoutSeconds, g_stop.interrupt.Get(), error)) {
        case OpenOutcome::Opened:
            site.SetDatabase(opener.Database());
            break;
        case OpenOutcome::Interrupted:
            code = kScanInterrupted;
            break;
        default:
            site.Say(L"Cannot open the database: " + error);
            code = kScanNoDatabase;
            break;
        }
    }
    if (code == kScanDone) {
        AttachSite(&site);
        {
            const CStatementWatch watch(site.m_cancel, command.statementTimeoutSeconds * 1000, &OnStatementTimeout);
            code = Scan(command, site, listing, opener.Database());
        }
        AttachSite(nullptr);
    }
    site.Say(site.Summary());
    return code;
}

int Run(int argc, const wchar_t* const* argv)
{
    const DWORD started = ::GetTickCount();
    ScanCommand command;
    std::wstring error;
    if (!ParseScanCommand(argc, argv, command, error)) {
        PrintError(L"SorvikScan: " + OneLine(error) + L" (see SorvikScan --help)");
        PrintError(ScanSummary(ScanCounts(), started));
        return kScanBadCommand;
    }
    if (command.help) {
        CConsoleText(STD_OUTPUT_HANDLE).Write(kScanUsage);
        return kScanDone;
    }
    for (CString& folder : command.folders)
        folder = SpelledAsStored(folder);
    return OpenAndScan(command);
}

}  // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    const CLocalMemory argvMemory(argv);
    if (!argv)
        return kScanBadCommand;
    ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
    const CSessionEndWatch sessionEnd(&InterruptAndWait);
    int code = kScanWarnings;
    try {
        code = Run(argc, argv);
    } catch (const std::bad_alloc&) {
        PrintError(L"SorvikScan: out of memory; the walk stopped.");
    } catch (...) {
        PrintError(L"SorvikScan: an unexpected error stopped the walk.");
    }
    ::SetEvent(g_stop.finished.Get());
    return code;
}
