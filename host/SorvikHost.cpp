// Sorvik's sample host: loads Sorvik.dll from its own folder, opens a database
// and executes the plug-in's dialog, then says how it went.
#include "host/ConnectionString.h"
#include "host/PluginLoader.h"
#include "host/SampleDatabase.h"
#include "host/WinePath.h"

#include "framework/UniqueHandle.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

// Each outcome its own code, so that scripts can tell them apart.
enum ExitCode : int {
    kOk = 0,          // the dialog ended with OK (Enter)
    kCancelled = 1,   // the dialog was cancelled (Escape, the close box)
    kBadOptions = 2,  // the command line was not understood
    kNoPlugin = 3,    // Sorvik.dll could not be loaded
    kNoDatabase = 4,  // the database could not be opened
};

const wchar_t kUsage[] =
    L"Usage: SorvikHost [--database ODBC-CONNECTION-STRING | --no-database | --help]\n"
    L"Without an option, an SQLite database sorvik-sample.sqlite beside the program is used.\n"
    L"Exit codes: 0 OK, 1 cancelled, 2 bad options, 3 no plug-in, 4 no database.\n";

const wchar_t kSampleDatabase[] = L"sorvik-sample.sqlite";

void Print(const std::wstring& text, FILE* stream = stdout)
{
    // UTF-8, so that paths and SQL with any characters survive the console.
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n > 0 ? n : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], n, nullptr, nullptr);
    fputs(utf8.c_str(), stream);
    fflush(stream);
}

// Where the rows went, so that a walk that only wrote to the database still
// shows its effect.
void PrintSummary(bool ok, CDatabase* database, const CString& connection, bool embedded, bool counted,
                  long long before)
{
    std::wstring text = ok ? L"The dialog ended with OK.\n" : L"The dialog was cancelled.\n";
    if (database) {
        long long after = 0;
        const std::wstring where =
            embedded ? PathBesideProgram(kSampleDatabase).Str() : WithoutPasswords(connection).Str();
        text += L"Database: " + where + L"\n";
        if (counted && CountFileRows(*database, after))
            text += L"Rows in files: " + std::to_wstring(before) + L" before, " + std::to_wstring(after) + L" after.\n";
        else
            text += L"It has no files table that could be counted.\n";
        const CString unixPath = UnixPathUnderWine(PathBesideProgram(kSampleDatabase));
        if (embedded && !unixPath.IsEmpty())
            text += L"To look at the rows: sqlite3 " + ShellQuote(unixPath.Str()) + L" 'SELECT * FROM files;'\n";
    }
    Print(text);
}

int Run(int argc, wchar_t** argv)
{
    bool useDatabase = true;
    CString connection;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--help") {
            Print(kUsage);
            return kOk;
        }
        if (arg == L"--no-database") {
            useDatabase = false;
        } else if (arg == L"--database" && i + 1 < argc) {
            connection = argv[++i];
        } else {
            Print(L"Unknown option " + arg + L"\n" + kUsage, stderr);
            return kBadOptions;
        }
    }

    CDatabase database;
    const bool embedded = useDatabase && connection.IsEmpty();
    bool counted = false;
    long long before = 0;
    if (useDatabase) {
        CString error;
        if (embedded)
            connection = SqliteConnectionString(PathBesideProgram(kSampleDatabase));
        else if (!MendSqlitePathForWine(connection, error)) {
            Print(error.Str() + L"\n", stderr);
            return kNoDatabase;
        }
        try {
            OpenSorvikConnection(database, connection);
            if (embedded)
                EnsureFilesTable(database);
            Print(L"SQL template for the files table (paste it into the SQL box):\n" +
                  std::wstring(kFilesInsertTemplate) + L"\n");
        } catch (CDBException* e) {
            Print(L"Cannot open the database: " + e->m_strError.Str() + L"\n", stderr);
            e->Delete();
            return kNoDatabase;
        }
        counted = CountFileRows(database, before);
    }

    CPluginModule plugin;
    CString error;
    if (!plugin.Load(PathBesideProgram(L"Sorvik.dll"), error)) {
        Print(error.Str() + L"\n", stderr);
        return kNoPlugin;
    }
    CSampleHost host(useDatabase ? &database : nullptr);
    plugin.SetHost(&host);
    const bool ok = plugin.Execute();
    PrintSummary(ok, useDatabase ? &database : nullptr, connection, embedded, counted, before);
    return ok ? kOk : kCancelled;
}

}  // namespace

int main()
{
    // Plain line feeds: a template copied from a captured output must not
    // carry a carriage return into the SQL box, where it would press OK.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    const CLocalMemory argvMemory(argv);
    return argv ? Run(argc, argv) : kBadOptions;
}
