// The sample host as a user starts it: a separate process whose dialog is
// closed from here, and whose exit code reports Execute's result.
#include "framework/UniqueHandle.h"
#include "host/PluginLoader.h"
#include "host/SampleDatabase.h"
#include "host/WinePath.h"
#include "support/DialogDriver.h"
#include "support/OdbcQuery.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace {

// What a process wrote to its standard output, through a file.
class CapturedOutput {
public:
    CapturedOutput() : m_path(UniqueTempPath(L".out"))
    {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        m_file.Reset(::CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    }
    ~CapturedOutput() { ::DeleteFileW(m_path.c_str()); }
    HANDLE Handle() const { return m_file.Get(); }
    std::string Text()
    {
        m_file.Reset();
        std::string text;
        CFileHandle file(::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
        char buffer[4096];
        DWORD read = 0;
        while (file && ::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
            text.append(buffer, read);
        return text;
    }

private:
    std::wstring m_path;
    CFileHandle m_file;
};

class SampleHostProcess {
public:
    explicit SampleHostProcess(const std::wstring& arguments,
                               const std::wstring& program = PathBesideProgram(L"SorvikHost.exe").Str(),
                               CapturedOutput* output = nullptr)
    {
        std::wstring line = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        if (output) {
            si.dwFlags = STARTF_USESTDHANDLES;
            si.hStdOutput = si.hStdError = output->Handle();
        }
        PROCESS_INFORMATION pi = {};
        if (::CreateProcessW(nullptr, &line[0], nullptr, nullptr, output != nullptr, 0, nullptr, nullptr, &si, &pi)) {
            m_process.Reset(pi.hProcess);
            ::CloseHandle(pi.hThread);
            m_processId = pi.dwProcessId;
        }
    }
    bool Started() const { return m_process.IsValid(); }

    HWND WaitForDialog() const
    {
        HWND dialog = nullptr;
        DialogDriver::WaitUntil([&] {
            dialog = DialogDriver::FindTopWindow([this](HWND hWnd) {
                DWORD pid = 0;
                ::GetWindowThreadProcessId(hWnd, &pid);
                wchar_t title[32] = {};
                ::GetWindowTextW(hWnd, title, 32);
                return pid == m_processId && ::IsWindowVisible(hWnd) && wcscmp(title, L"Sorvik") == 0;
            });
            return dialog != nullptr;
        });
        return dialog;
    }

    // The exit code, or -1 if the process does not end in time.
    int WaitForExit() const
    {
        if (::WaitForSingleObject(m_process.Get(), 30000) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(m_process.Get(), &code);
        return static_cast<int>(code);
    }

private:
    CKernelHandle m_process;
    DWORD m_processId = 0;
};

}  // namespace

TEST(SampleHost, ExitCodeReportsHowTheDialogEnded)
{
    for (const auto& run : {std::make_pair(IDOK, 0), std::make_pair(IDCANCEL, 1)}) {
        SampleHostProcess host(L"--no-database");
        ASSERT_TRUE(host.Started());
        const HWND dialog = host.WaitForDialog();
        ASSERT_NE(nullptr, dialog);
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(run.first, BN_CLICKED), 0);
        EXPECT_EQ(run.second, host.WaitForExit());
    }
}

namespace {

// A copy of the host and the plug-in in a folder of their own, so that the
// user's sample database beside the built host is never touched.
struct HostCopy {
    TempTree folder;
    HostCopy(std::initializer_list<const wchar_t*> files = {L"SorvikHost.exe", L"Sorvik.dll", L"libsqlite3odbc.so"})
    {
        for (const wchar_t* file : files)
            EXPECT_TRUE(::CopyFileW(PathBesideProgram(file), folder.Path(file).c_str(), TRUE)) << Narrow(file);
    }
    std::wstring Host() const { return folder.Path(L"SorvikHost.exe"); }
};

}  // namespace

TEST(SampleHost, EmbeddedDatabaseIsCreatedAndTheSummarySaysWhereTheRowsAre)
{
    HostCopy copy;
    CapturedOutput output;
    SampleHostProcess host(L"", copy.Host(), &output);
    ASSERT_TRUE(host.Started());
    const HWND dialog = host.WaitForDialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, 1014))) << "an open connection enables the SQL box";
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(1, host.WaitForExit());

    const std::wstring database = copy.folder.Path(L"sorvik-sample.sqlite");
    const std::string text = output.Text();
    for (const std::string& line :
         {Narrow(kFilesInsertTemplate), std::string("The dialog was cancelled."), "Database: " + Narrow(database),
          std::string("Rows in files: 0 before, 0 after."),
          "sqlite3 " + Narrow(ShellQuote(UnixPathUnderWine(database.c_str()).Str())) + " 'SELECT * FROM files;'"})
        EXPECT_NE(std::string::npos, text.find(line)) << line << "\nin:\n" << text;
    EXPECT_EQ(std::string::npos, text.find('\r')) << "plain line feeds";

    CDatabase db;
    OpenSorvikConnection(db, SqliteConnectionString(database.c_str()));
    long long rows = -1;
    EXPECT_TRUE(CountFileRows(db, rows)) << "the files table exists";
    EXPECT_EQ(0, rows);
}

TEST(SampleHost, AWindowsPathForTheSqliteDriverIsTranslatedOrRefused)
{
    HostCopy copy;
    const std::wstring driver = UnixPathUnderWine(copy.folder.Path(L"libsqlite3odbc.so").c_str()).Str();
    const std::wstring database = copy.folder.Path(L"windows path.sqlite");
    SampleHostProcess host(L"--database \"Driver=" + driver + L";Database=" + database + L"\"", copy.Host());
    ASSERT_TRUE(host.Started());
    const HWND dialog = host.WaitForDialog();
    ASSERT_NE(nullptr, dialog);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(0, host.WaitForExit());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(database.c_str())) << "the database is where it was named";

    CapturedOutput output;
    SampleHostProcess unmapped(L"--database \"Driver=" + driver + L";Database=\\\\nohost\\x.sqlite\"", copy.Host(),
                               &output);
    ASSERT_TRUE(unmapped.Started());
    EXPECT_EQ(4, unmapped.WaitForExit());
    EXPECT_NE(std::string::npos, output.Text().find("needs a Linux path")) << output.Text();
}

TEST(SampleHost, EachOutcomeHasItsOwnExitCode)
{
    const struct {
        const wchar_t* arguments;
        bool withPlugin;
        int code;
        const char* says;
    } cases[] = {
        {L"--help", true, 0, "Usage: SorvikHost"},
        {L"--bogus", true, 2, "Unknown option --bogus"},
        {L"--database", true, 2, "Usage: SorvikHost"},
        {L"--no-database", false, 3, "Cannot load"},
        {L"--database \"Driver=No Such Driver;Database=x\"", true, 4, "Cannot open the database"},
    };
    for (const auto& c : cases) {
        HostCopy copy = c.withPlugin ? HostCopy() : HostCopy({L"SorvikHost.exe"});
        CapturedOutput output;
        SampleHostProcess host(c.arguments, copy.Host(), &output);
        ASSERT_TRUE(host.Started());
        EXPECT_EQ(c.code, host.WaitForExit()) << Narrow(c.arguments);
        EXPECT_NE(std::string::npos, output.Text().find(c.says)) << Narrow(c.arguments);
    }
}

TEST(SampleHost, ReachesTheDatabaseServers)
{
    for (const Engine engine : {Engine::PostgreSql, Engine::MariaDb}) {
        TestDatabase prepared(engine);  // an empty files table
        if (!prepared.Unreachable().empty())
            GTEST_SKIP() << prepared.Unreachable();
        CapturedOutput output;
        SampleHostProcess host(L"--database \"" + ServerConnectionString(engine) + L"\"",
                               PathBesideProgram(L"SorvikHost.exe").Str(), &output);
        ASSERT_TRUE(host.Started());
        const HWND dialog = host.WaitForDialog();
        ASSERT_NE(nullptr, dialog) << EngineName(engine);
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, 1014))) << EngineName(engine);
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_EQ(0, host.WaitForExit()) << EngineName(engine);
        EXPECT_NE(std::string::npos, output.Text().find("Rows in files: 0 before, 0 after.")) << output.Text();
        EXPECT_NE(std::string::npos, output.Text().find(Narrow(kFilesInsertTemplate))) << output.Text();
    }
}
