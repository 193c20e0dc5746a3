// The sample host as a user starts it: a separate process whose dialog is
// closed from here, and whose exit code reports Execute's result.
#include "framework/UniqueHandle.h"
#include "host/PluginLoader.h"
#include "host/SampleDatabase.h"
#include "support/DialogDriver.h"
#include "support/OdbcQuery.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace {

class SampleHostProcess {
public:
    explicit SampleHostProcess(const std::wstring& arguments,
                               const std::wstring& program = PathBesideProgram(L"SorvikHost.exe").Str())
    {
        std::wstring line = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
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

TEST(SampleHost, EmbeddedDatabaseIsCreatedWithItsFilesTable)
{
    // A copy of the host of its own, so that the user's sample database
    // beside the built host is never touched.
    TempTree copy;
    for (const wchar_t* file : {L"SorvikHost.exe", L"Sorvik.dll"})
        ASSERT_TRUE(::CopyFileW(PathBesideProgram(file), copy.Path(file).c_str(), TRUE));
    const CString database = copy.Path(L"sorvik-sample.sqlite").c_str();
    SampleHostProcess host(L"", copy.Path(L"SorvikHost.exe"));
    ASSERT_TRUE(host.Started());
    const HWND dialog = host.WaitForDialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, 1014))) << "an open connection enables the SQL box";
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(1, host.WaitForExit());
    CDatabase db;
    try {
        db.OpenEx(SqliteConnectionString(database));
        EXPECT_EQ(1u, QueryRows(db, L"SELECT COUNT(*) FROM files").size()) << "the files table exists";
    } catch (CDBException* e) {
        ADD_FAILURE() << Narrow(e->m_strError.Str());
        e->Delete();
    }
}

TEST(SampleHost, BadOptionsAndDatabasesAreReportedWithoutADialog)
{
    SampleHostProcess unknown(L"--bogus");
    ASSERT_TRUE(unknown.Started());
    EXPECT_EQ(2, unknown.WaitForExit());

    SampleHostProcess noDriver(L"--database \"Driver=No Such Driver;Database=x\"");
    ASSERT_TRUE(noDriver.Started());
    EXPECT_EQ(2, noDriver.WaitForExit());
}
