// SorvikScan: Sorvik's walk without a window, for scripts and scheduled
// tasks. The same engine as the dialog's; this program is its console site.
#include "console/ConsoleSite.h"
#include "console/ScanCommandLine.h"
#include "console/SessionEndWatch.h"
#include "framework/UniqueHandle.h"
#include "host/ConnectionString.h"
#include "host/SampleDatabase.h"
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
    bool interrupted = false;
    CKernelHandle finished{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // set once the summary is out
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
    if (walk && g_stop.interrupted)
        StopWalk(*walk);
    const bool interrupted = g_stop.interrupted;
    ::LeaveCriticalSection(&g_stop.lock);
    return interrupted;
}

// The walk stops after the file in progress, as the dialog's Stop does.
void Interrupt()
{
    ::EnterCriticalSection(&g_stop.lock);
    if (!g_stop.interrupted && g_stop.walk)
        StopWalk(*g_stop.walk);
    g_stop.interrupted = true;
    ::LeaveCriticalSection(&g_stop.lock);
}

// The console closing, a log-off or a shut-down ends the process as soon as
// its handler returns: first let the walk end and the summary out.
void InterruptAndWait()
{
    Interrupt();
    ::WaitForSingleObject(g_stop.finished.Get(), INFINITE);
}

BOOL WINAPI OnConsoleControl(DWORD type)
{
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT)
        Interrupt();
    else
        InterruptAndWait();
    return TRUE;
}

bool OpenDatabase(const std::wstring& connectionString, CDatabase& database)
{
    CString connection = connectionString.c_str();
    CString error;
    if (!MendSqlitePathForWine(connection, error)) {
        PrintError(L"Cannot open the database: " + OneLine(error.Str()));
        return false;
    }
    try {
        OpenSorvikConnection(database, connection);
        return true;
    } catch (CDBException* e) {
        PrintError(L"Cannot open the database: " + OneLine(e->m_strError.Str()));
        e->Delete();
        return false;
    }
}

int Scan(const ScanCommand& command, CDatabase* database)
{
    const CConsoleText out(STD_OUTPUT_HANDLE);
    CListingWriter listing(out, command.list);
    CConsoleSite site(command, database, listing);
    const CKernelHandle walkReturned(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CStopCanceller canceller(site.m_cancel, walkReturned.Get());
    RunningWalk running{site.m_options, canceller, site.m_cancel.BeginRound()};

    bool ended = true;
    bool closed = !listing.Begin();
    if (!closed && !AttachWalk(&running)) {
        CFolderWalk walk(site);
        ended = walk.ScanFolder(command.folder.c_str(), command.pattern.c_str(), command.sql.c_str());
        closed = !site.FlushListing();
    }
    ::SetEvent(walkReturned.Get());
    const bool interrupted = AttachWalk(nullptr);
    canceller.Wait();

    ScanCounts counts = site.Counts();
    // A reader that closed the listing had what it wanted; the database,
    // though, did not get every file.
    if (closed && database) {
        PrintError(L"warning: the listing's reader closed it; the walk stopped before its end");
        ++counts.warnings;
    }
    PrintError(site.Summary());
    if (interrupted)
        return kScanInterrupted;
    if (!ended)
        return kScanDatabaseError;
    return counts.warnings || counts.failed || (closed && database) ? kScanWarnings : kScanDone;
}

int Run(int argc, const wchar_t* const* argv)
{
    ScanCommand command;
    std::wstring error;
    if (!ParseScanCommand(argc, argv, command, error)) {
        PrintError(error + L"\n" + kScanUsage);
        return kScanBadCommand;
    }
    if (command.help) {
        CConsoleText(STD_OUTPUT_HANDLE).Write(kScanUsage);
        return kScanDone;
    }
    CDatabase database;
    if (!command.connection.empty() && !OpenDatabase(command.connection, database))
        return kScanNoDatabase;
    return Scan(command, database.IsOpen() ? &database : nullptr);
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
