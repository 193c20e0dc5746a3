// Sorvik's sample host: loads Sorvik.dll from its own folder, opens a database
// and executes the plug-in's dialog. Exit code 0 when the dialog ended with OK,
// 1 when it was cancelled, 2 when the plug-in or the database failed.
#include "host/PluginLoader.h"
#include "host/SampleDatabase.h"

#include "framework/UniqueHandle.h"

#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

const wchar_t kUsage[] =
    L"Usage: SorvikHost [--database ODBC-CONNECTION-STRING | --no-database]\n"
    L"Without an option, an SQLite database sorvik-sample.sqlite beside the program is used.\n";

void Print(const std::wstring& text, FILE* stream = stdout)
{
    // UTF-8, so that paths and SQL with any characters survive the console.
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n > 0 ? n : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], n, nullptr, nullptr);
    fputs(utf8.c_str(), stream);
    fflush(stream);
}

int Run(int argc, wchar_t** argv)
{
    bool useDatabase = true;
    CString connection;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--no-database") {
            useDatabase = false;
        } else if (arg == L"--database" && i + 1 < argc) {
            connection = argv[++i];
        } else {
            Print(kUsage, stderr);
            return 2;
        }
    }

    CDatabase database;
    if (useDatabase) {
        const bool embedded = connection.IsEmpty();
        if (embedded)
            connection = SqliteConnectionString(PathBesideProgram(L"sorvik-sample.sqlite"));
        try {
            OpenSorvikConnection(database, connection);
            if (embedded) {
                EnsureFilesTable(database);
                Print(L"SQL template for the files table (paste it into the SQL box):\n" +
                      std::wstring(kFilesInsertTemplate) + L"\n");
            }
        } catch (CDBException* e) {
            Print(L"Cannot open the database: " + e->m_strError.Str() + L"\n", stderr);
            e->Delete();
            return 2;
        }
    }

    CPluginModule plugin;
    CString error;
    if (!plugin.Load(PathBesideProgram(L"Sorvik.dll"), error)) {
        Print(error.Str() + L"\n", stderr);
        return 2;
    }
    CSampleHost host(useDatabase ? &database : nullptr);
    plugin.SetHost(&host);
    return plugin.Execute() ? 0 : 1;
}

}  // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    const CLocalMemory argvMemory(argv);
    return argv ? Run(argc, argv) : 2;
}
