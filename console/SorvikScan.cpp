// SorvikScan: Sorvik's walk without a window, for scripts and scheduled
// tasks. The same engine as the dialog's; this program is its console site.
#include "console/ConsoleSite.h"
#include "console/ScanCommandLine.h"
#include "framework/UniqueHandle.h"
#include "host/ConnectionString.h"
#include "host/SampleDatabase.h"
#include "scan/FolderWalk.h"
#include "scan/StopCanceller.h"

#include <shellapi.h>

#include <atomic>
#include <new>

namespace {

// What the console's control handler needs. It runs on a thread of its own
// and takes no parameter, hence one global, set while a walk runs.
struct StopControl {
    ScanOptions& options;
    CStopCanceller& canceller;
    unsigned round;
    HANDLE finished;  // set once the summary is out
    std::atomic<bool> interrupted{false};
};
std::atomic<StopControl*> g_pStop{nullptr};

BOOL WINAPI OnConsoleControl(DWORD type)
{
    StopControl* stop = g_pStop.load();
    if (!stop)
        return FALSE;
    // The walk stops after the file in progress, as the dialog's Stop does.
    if (!stop->interrupted.exchange(true)) {
        stop->options.m_bStop = true;
        stop->canceller.Begin(stop->round);
    }
    // The console closing, a log-off or a shut-down ends the process as
    // soon as this returns: first let the walk end and the summary out.
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        ::WaitForSingleObject(stop->finished, INFINITE);
    return TRUE;
}

bool OpenDatabase(const std::wstring& connectionString, CDatabase& database)
{
    CString connection = connectionString.c_str();
    CString error;
    if (!MendSqlitePathForWine(connection, error)) {
        PrintError(L"Cannot open the database: " + error.Str());
        return false;
    }
    try {
        OpenSorvikConnection(database, connection);
        return true;
    } catch (CDBException* e) {
        PrintError(L"Cannot open the database: " + e->m_strError.Str());
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
    const CKernelHandle finished(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CStopCanceller canceller(site.m_cancel, walkReturned.Get());
    StopControl stop{site.m_options, canceller, site.m_cancel.BeginRound(), finished.Get()};
    g_pStop = &stop;
    ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);

    bool ended = true;
    bool closed = !listing.Begin();
    if (!closed) {
        CFolderWalk walk(site);
        ended = walk.ScanFolder(command.folder.c_str(), command.pattern.c_str(), command.sql.c_str());
        closed = site.OutputClosed() || !listing.Flush();
    }
    ::SetEvent(walkReturned.Get());
    canceller.Wait();

    ScanCounts counts = site.Counts();
    // A reader that closed the listing had what it wanted; the database,
    // though, did not get every file.
    if (closed && database) {
        PrintError(L"warning: the listing's reader closed it; the walk stopped before its end");
        ++counts.warnings;
    }
    PrintError(site.Summary());
    ::SetEvent(finished.Get());
    g_pStop = nullptr;
    if (stop.interrupted)
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
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        PrintError(L"SorvikScan: out of memory; the walk stopped.");
    } catch (...) {
        PrintError(L"SorvikScan: an unexpected error stopped the walk.");
    }
    return kScanWarnings;
}
