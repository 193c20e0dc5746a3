#include "dialog/resource.h"
#include "framework/WinThread.h"
#include "host/PluginLoader.h"
#include "host/SampleDatabase.h"
#include "scan/FileOwner.h"
#include "scan/FileTimeText.h"
#include "support/DialogDriver.h"
#include "support/OdbcQuery.h"
#include "support/RecordingSite.h"
#include "support/TempTree.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <psapi.h>

#include <atomic>

namespace {

using Cells = std::vector<std::wstring>;

class ScannerDialog : public ::testing::Test {
protected:
    CPluginModule plugin;

    void SetUp() override
    {
        CString error;
        ASSERT_TRUE(plugin.Load(PathBesideProgram(L"Sorvik.dll"), error)) << Narrow(error.Str());
    }

    // Executes with this database (or none) while scenario drives the dialog.
    bool Run(CDatabase* db, const std::function<void(DialogDriver&)>& scenario)
    {
        return ExecuteWithDatabase(plugin, db, scenario);
    }

    // Ticks Show Results, types the folder and runs one walk to its end.
    static void Walk(DialogDriver& d, const std::wstring& folder)
    {
        if (!d.IsChecked(IDC_SHOW_RESULTS))
            d.Click(IDC_SHOW_RESULTS);
        d.SetText(IDC_FOLDER, folder);
        d.Click(IDC_START);
        EXPECT_TRUE(d.WaitForWalkEnd());
    }

    // The files of a tree in walk order, found without the dialog.
    static std::vector<FileFacts> WalkOrder(const std::wstring& folder)
    {
        RecordingSite site;
        site.Walk(folder);
        return site.rows;
    }

    static void MakeFiles(const TempTree& tree, int count)
    {
        tree.AddFolder(L"many");
        for (int i = 0; i < count; ++i)
            tree.AddFile(L"many\\file" + std::to_wstring(i) + L".txt", "x");
    }
};

bool CommonControls6Loaded()
{
    HMODULE modules[1024];
    DWORD needed = 0;
    ::EnumProcessModules(::GetCurrentProcess(), modules, sizeof modules, &needed);
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 1024; ++i) {
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameW(modules[i], path, MAX_PATH);
        const std::wstring lower = CharLowerW(path);
        if (lower.find(L"common-controls") != std::wstring::npos && lower.find(L"_6.") != std::wstring::npos)
            return true;
    }
    return false;
}

}  // namespace

TEST_F(ScannerDialog, FreshDialogAndStartEnableRule)
{
    const bool result = Run(nullptr, [](DialogDriver& d) {
        EXPECT_EQ(L"", d.GetText(IDC_FOLDER));
        EXPECT_EQ(L"", d.GetText(IDC_SQL));
        EXPECT_EQ(L"*.*", d.GetText(IDC_PATTERN));
        for (int box : {IDC_SHOW_RESULTS, IDC_SHOW_OWNER, IDC_WRITE_TO_DATABASE, IDC_START})
            EXPECT_FALSE(d.IsChecked(box));
        EXPECT_FALSE(d.IsEnabled(IDC_START));
        EXPECT_FALSE(d.IsEnabled(IDC_BROWSE));
        EXPECT_FALSE(d.IsEnabled(IDC_SQL)) << "no connection: no SQL";
        EXPECT_EQ((std::vector<std::wstring>{L"File Name", L"Date Created", L"Size", L"Attributes", L"Owner"}),
                  d.ColumnTitles());
        EXPECT_EQ(0, d.RowCount());
        EXPECT_GE(d.ColumnWidthsTotal(), d.ListClientWidth()) << "the Owner column reaches the right edge";
        // The module's manifest brings Common Controls 6 into the process.
        EXPECT_TRUE(CommonControls6Loaded());

        d.SetText(IDC_FOLDER, L"x");
        EXPECT_TRUE(d.IsEnabled(IDC_START));
        d.SetText(IDC_FOLDER, L"");
        EXPECT_FALSE(d.IsEnabled(IDC_START));
        d.SetText(IDC_FOLDER, L"   ");
        EXPECT_TRUE(d.IsEnabled(IDC_START)) << "only emptiness counts";
        d.PressKey(IDC_FOLDER, VK_ESCAPE);
    });
    EXPECT_FALSE(result) << "Escape cancels";
}

TEST_F(ScannerDialog, SqlBoxFollowsTheConnectionAndEnterEndsWithOk)
{
    TestDatabase sqlite;
    EXPECT_TRUE(Run(&sqlite.db, [](DialogDriver& d) {
        EXPECT_TRUE(d.IsEnabled(IDC_SQL));
        d.SetText(IDC_FOLDER, L"C:\\");
        d.PressKey(IDC_START, VK_RETURN);  // Enter ends with OK, whichever control has the focus
    }));

    CDatabase closed;
    EXPECT_FALSE(Run(&closed, [](DialogDriver& d) {
        EXPECT_FALSE(d.IsEnabled(IDC_SQL)) << "a closed connection counts as none";
        d.PressCloseBox();
    }));
}

TEST_F(ScannerDialog, SecondExecuteStartsFresh)
{
    TempTree tree;
    tree.AddFile(L"a.txt");
    Run(nullptr, [&](DialogDriver& d) {
        Walk(d, tree.Root());
        d.Click(IDC_SHOW_OWNER);
        d.Click(IDC_WRITE_TO_DATABASE);
        d.SetText(IDC_PATTERN, L"*.txt");
        d.SetText(IDC_SQL, L"DELETE FROM files");
        EXPECT_EQ(1, d.RowCount());
        d.PressKey(IDC_FOLDER, VK_RETURN);
    });
    Run(nullptr, [](DialogDriver& d) {
        EXPECT_EQ(L"", d.GetText(IDC_FOLDER));
        EXPECT_EQ(L"*.*", d.GetText(IDC_PATTERN));
        EXPECT_FALSE(d.IsChecked(IDC_SHOW_RESULTS));
        EXPECT_FALSE(d.IsChecked(IDC_SHOW_OWNER));
        EXPECT_FALSE(d.IsChecked(IDC_WRITE_TO_DATABASE));
        EXPECT_EQ(L"", d.GetText(IDC_SQL));
        EXPECT_EQ(0, d.RowCount());
    });
}

TEST_F(ScannerDialog, WalkFillsTheListInWalkOrderAndAppends)
{
    TempTree tree;
    tree.AddFile(L"one.txt", "12345");
    tree.AddFolder(L"sub");
    tree.AddFile(L"sub\\two.dat");
    tree.AddFile(L"sub\\three");
    // Created (as Wine shows it) at 1970-01-01 00:00:00: no date is shown.
    tree.SetTimes(L"sub\\three", 0, 0);
    const std::vector<FileFacts> expected = WalkOrder(tree.Root());
    ASSERT_EQ(3u, expected.size());

    Run(nullptr, [&](DialogDriver& d) {
        const int titleWidth = d.ColumnWidth(0);
        Walk(d, tree.Root());
        EXPECT_FALSE(d.IsChecked(IDC_START)) << "Start pops up at the end";
        EXPECT_TRUE(d.IsEnabled(IDC_START));
        // The end of the walk sizes the columns to their cells.
        const std::wstring longest = tree.Path(L"sub\two.dat");
        ASSERT_GT(d.TextWidth(longest), titleWidth);
        EXPECT_GE(d.ColumnWidth(0), d.TextWidth(longest));
        auto rows = d.Rows();
        ASSERT_EQ(3u, rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            const FileFacts& f = expected[i];
            const std::wstring date = f.m_timeCreate > 0 ? FormatFileTime(f.m_timeCreate).Str() : L"";
            EXPECT_EQ((Cells{f.m_strFilePath.Str(), date, f.m_strFileLength.Str(), f.m_strAllAttributes.Str(), L""}),
                      rows[i]);
            if (f.m_strFilePath.Str() == tree.Path(L"sub\\three")) {
                EXPECT_EQ(L"", rows[i][1]);
                EXPECT_EQ(L"0", rows[i][2]);
            } else {
                EXPECT_EQ(19u, rows[i][1].size()) << "hh:mm:ss dd.mm.yyyy";
            }
        }

        // Owner column from now on; earlier rows keep theirs (empty).
        d.Click(IDC_SHOW_OWNER);
        Walk(d, tree.Root());
        rows = d.Rows();
        ASSERT_EQ(6u, rows.size()) << "a second walk appends";
        EXPECT_EQ(L"", rows[0][4]);
        for (size_t i = 3; i < 6; ++i) {
            EXPECT_EQ(expected[i - 3].m_strFilePath.Str(), rows[i][0]);
            EXPECT_EQ(LookupFileOwner(expected[i - 3].m_strFilePath).Str(), rows[i][4]);
        }

        // Show Results unticked: the walk runs but lists nothing.
        d.Click(IDC_SHOW_RESULTS);
        d.Click(IDC_START);
        EXPECT_TRUE(d.WaitForWalkEnd());
        EXPECT_EQ(6, d.RowCount());
    });
}

namespace {

// Holds the dialog thread inside the list's next column sizing, which the
// worker asks for in its end steps, while the thread still handles messages
// sent to it: presses then land between the walk's return and the worker's
// last step. Every list view shares one window procedure, so the hold keeps
// the one it replaced for all of them.
class ColumnSizingHold {
public:
    explicit ColumnSizingHold(HWND list)
    {
        ::ResetEvent(s_held);
        ::ResetEvent(s_release);
        s_armed = true;
        const LONG_PTR previous = ::SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc));
        s_previous = reinterpret_cast<WNDPROC>(previous);
    }
    ~ColumnSizingHold() { Release(); }
    ColumnSizingHold(const ColumnSizingHold&) = delete;
    ColumnSizingHold& operator=(const ColumnSizingHold&) = delete;

    static bool WaitUntilHeld() { return ::WaitForSingleObject(s_held, 30000) == WAIT_OBJECT_0; }
    static void Release() { ::SetEvent(s_release); }

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == LVM_SETCOLUMNWIDTH && s_armed.exchange(false)) {
            ::SetEvent(s_held);
            AfxWaitForThreadPumpingSent(s_release);
        }
        return ::CallWindowProcW(s_previous, hWnd, message, wParam, lParam);
    }

    static inline std::atomic<bool> s_armed{false};
    static inline WNDPROC s_previous = nullptr;
    static inline HANDLE s_held = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    static inline HANDLE s_release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

}  // namespace

TEST_F(ScannerDialog, PressesInEveryPhaseOfAWalk)
{
    TempTree tree;
    for (int i = 0; i < 3; ++i)
        tree.AddFile(L"f" + std::to_wstring(i));
    TestDatabase sqlite;
    Run(&sqlite.db, [&](DialogDriver& d) {
        d.Click(IDC_SHOW_RESULTS);
        d.SetText(IDC_FOLDER, tree.Root());

        // Walking: the worker waits at the first file's database prompt.
        d.SetText(IDC_SQL, L"INSERT INTO no_such_table VALUES (1)");
        d.Click(IDC_WRITE_TO_DATABASE);
        d.Click(IDC_START);
        const HWND prompt = d.WaitForMessageBox();
        ASSERT_NE(nullptr, prompt);
        d.Click(IDC_START);  // up: the stop request
        EXPECT_FALSE(d.IsChecked(IDC_START));
        d.Click(IDC_START);  // down while the stop is pending: only flips
        EXPECT_TRUE(d.IsChecked(IDC_START));
        DialogDriver::Answer(prompt, IDYES);
        ASSERT_TRUE(d.WaitForWalkEnd());
        EXPECT_EQ(1, d.RowCount()) << "stopped after the file in progress, and no second walk began";
        d.Click(IDC_WRITE_TO_DATABASE);

        // Finishing: the walk has returned, the worker is held in its end steps.
        {
            ColumnSizingHold hold(::GetDlgItem(d.Dialog(), IDC_RESULT_LIST));
            d.Click(IDC_START);
            ASSERT_TRUE(hold.WaitUntilHeld());
            EXPECT_EQ(4, d.RowCount());
            EXPECT_TRUE(d.IsChecked(IDC_START)) << "down until the worker's last step";
            d.Click(IDC_START);  // up: there is no walk left to stop
            d.Click(IDC_START);  // down: no walk may begin beside the worker
            hold.Release();
            ASSERT_TRUE(d.WaitForWalkEnd());
        }

        // Idle: once the toggle is up, the very next press walks to the end.
        for (int walk = 1; walk <= 2; ++walk) {
            d.Click(IDC_START);
            ASSERT_TRUE(d.WaitForWalkEnd());
            EXPECT_EQ(4 + 3 * walk, d.RowCount()) << "no press dropped, no extra walk, no stop left behind";
        }
    });
}

TEST_F(ScannerDialog, OptionsTickedAndClearedDuringAWalkActFromTheNextFile)
{
    TempTree tree;
    MakeFiles(tree, 200);
    TestDatabase sqlite;
    Run(&sqlite.db, [&](DialogDriver& d) {
        const auto atRows = [&](int n) { return DialogDriver::WaitUntil([&] { return d.RowCount() >= n; }); };
        d.SetText(IDC_SQL, L"INSERT INTO files (path) VALUES ('{FilePath}')");
        d.Click(IDC_SHOW_RESULTS);
        d.SetText(IDC_FOLDER, tree.Root());
        d.Click(IDC_START);
        ASSERT_TRUE(atRows(20));
        d.Click(IDC_SHOW_OWNER);
        d.Click(IDC_WRITE_TO_DATABASE);
        ASSERT_TRUE(atRows(80));
        d.Click(IDC_SHOW_OWNER);
        d.Click(IDC_WRITE_TO_DATABASE);
        ASSERT_TRUE(atRows(140));
        d.Click(IDC_SHOW_RESULTS);
        ASSERT_TRUE(d.WaitForWalkEnd());

        const auto rows = d.Rows();
        ASSERT_GE(rows.size(), 140u);
        EXPECT_LT(rows.size(), 200u) << "rows stop once Show Results is cleared";
        EXPECT_TRUE(d.RowWhollyVisible(d.RowCount() - 1)) << "the list follows the walk";
        EXPECT_FALSE(d.RowWhollyVisible(0));

        // Owner cells: empty, then filled while ticked, then empty again.
        size_t ownerFrom = 0;
        while (ownerFrom < rows.size() && rows[ownerFrom][4].empty())
            ++ownerFrom;
        size_t ownerTo = ownerFrom;
        while (ownerTo < rows.size() && !rows[ownerTo][4].empty())
            ++ownerTo;
        EXPECT_GE(ownerFrom, 20u);
        EXPECT_GT(ownerTo, ownerFrom);
        EXPECT_LT(ownerTo, rows.size());
        for (size_t i = ownerTo; i < rows.size(); ++i)
            EXPECT_EQ(L"", rows[i][4]) << "row " << i;

        // The database got exactly the files walked while the box was ticked:
        // one unbroken stretch of the listed rows, neither at the start nor the end.
        const Rows written = QueryRows(sqlite.db, L"SELECT path FROM files ORDER BY rowid");
        ASSERT_FALSE(written.empty());
        size_t from = 0;
        while (from < rows.size() && rows[from][0] != written[0][0])
            ++from;
        ASSERT_LT(from + written.size(), rows.size());
        EXPECT_GE(from, 20u);
        for (size_t i = 0; i < written.size(); ++i)
            EXPECT_EQ(rows[from + i][0], written[i][0]) << "written row " << i;
    });
}

TEST_F(ScannerDialog, WriteToDatabaseWritesEveryFileAndErrorsAsk)
{
    TempTree tree;
    tree.AddFile(L"O'Neil.txt");
    tree.AddFile(L"b.txt");
    tree.AddFile(L"c.txt");
    TestDatabase sqlite;
    const std::vector<FileFacts> expected = WalkOrder(tree.Root());

    Run(&sqlite.db, [&](DialogDriver& d) {
        d.SetText(IDC_SQL, kFilesInsertTemplate);
        d.Click(IDC_WRITE_TO_DATABASE);
        Walk(d, tree.Root());
        EXPECT_EQ(nullptr, d.FindMessageBox());

        // A failing statement asks; Yes goes on (with the row), No ends.
        d.SetText(IDC_SQL, L"INSERT INTO no_such_table VALUES (1)");
        d.Click(IDC_START);
        HWND box = d.WaitForMessageBox();
        ASSERT_NE(nullptr, box);
        const std::wstring prompt = DialogDriver::MessageBoxText(box);
        EXPECT_NE(std::wstring::npos, prompt.find(L"no_such_table")) << Narrow(prompt);
        EXPECT_NE(std::wstring::npos, prompt.find(L"Do you want to continue?"));
        DialogDriver::Answer(box, IDYES);
        ASSERT_TRUE(DialogDriver::WaitUntil([&] { return d.RowCount() == 4; }));
        ASSERT_TRUE(DialogDriver::WaitUntil([&] {
            HWND next = d.FindMessageBox();
            return next && next != box;
        }));
        DialogDriver::Answer(d.FindMessageBox(), IDNO);
        ASSERT_TRUE(d.WaitForWalkEnd());
        EXPECT_EQ(4, d.RowCount()) << "No: the failing file gets no row and the walk ends";
    });

    const Rows rows = QueryRows(sqlite.db, L"SELECT title, path, length FROM files ORDER BY rowid");
    ASSERT_EQ(expected.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ((Cells{expected[i].m_strFileTitle.Str(), expected[i].m_strFilePath.Str(),
                         expected[i].m_strFileLength.Str()}),
                  rows[i]);
}

TEST_F(ScannerDialog, ClosingDuringAWalkEndsItWithoutHangOrCrash)
{
    TempTree tree;
    MakeFiles(tree, 200);
    for (int how = 0; how < 3; ++how) {
        const bool result = Run(nullptr, [&](DialogDriver& d) {
            d.Click(IDC_SHOW_RESULTS);
            d.SetText(IDC_FOLDER, tree.Root());
            d.Click(IDC_START);
            ASSERT_TRUE(DialogDriver::WaitUntil([&] { return d.RowCount() > 0; }));
            if (how == 0)
                d.PressKey(IDC_FOLDER, VK_ESCAPE);
            else if (how == 1)
                d.PressCloseBox();
            else
                d.PressKey(IDC_FOLDER, VK_RETURN);
            EXPECT_TRUE(DialogDriver::WaitUntil([&] { return !d.DialogExists(); }));
        });
        EXPECT_EQ(how == 2, result);
    }
}

namespace {

// A host context that records the calls of its database slot.
class CountingHost final {
public:
    explicit CountingHost(CDatabase* pDatabase) : m_pDatabase(pDatabase) {}
    virtual void Reserved() {}
    virtual CDatabase* GetDatabase()
    {
        ++calls;
        thread = ::GetCurrentThreadId();
        return m_pDatabase;
    }
    int calls = 0;
    DWORD thread = 0;

private:
    CDatabase* m_pDatabase;
};

}  // namespace

TEST_F(ScannerDialog, TheHostIsAskedOncePerExecuteAndMayUnloadAtOnce)
{
    TempTree tree;
    MakeFiles(tree, 200);
    TestDatabase sqlite;
    // Each round unloads the DLL the moment Execute returns from a dialog
    // closed mid-walk; the next round loads it afresh.
    for (int round = 0; round < 2; ++round) {
        CPluginModule module;
        CString error;
        ASSERT_TRUE(module.Load(PathBesideProgram(L"Sorvik.dll"), error)) << Narrow(error.Str());
        CountingHost host(&sqlite.db);
        module.SetHost(&host);
        ExecuteDriven([&] { return module.Execute(); }, [&](DialogDriver& d) {
            d.SetText(IDC_SQL, L"INSERT INTO files (path) VALUES ('{FilePath}')");
            d.Click(IDC_WRITE_TO_DATABASE);
            d.Click(IDC_SHOW_RESULTS);
            d.SetText(IDC_FOLDER, tree.Root());
            d.Click(IDC_START);
            ASSERT_TRUE(DialogDriver::WaitUntil([&] { return d.RowCount() > 0; }));
            d.PressKey(IDC_FOLDER, VK_ESCAPE);
        });
        EXPECT_EQ(1, host.calls);
        EXPECT_EQ(::GetCurrentThreadId(), host.thread) << "on the thread that called Execute";
    }
    EXPECT_GE(QueryRows(sqlite.db, L"SELECT path FROM files").size(), 2u);
}

TEST_F(ScannerDialog, ABoxShownWhileTheDialogClosesStaysAnswerable)
{
    // Two entered folders without a match: a box each, unless the walk stops.
    TempTree tree;
    tree.AddFolder(L"a.txt");
    tree.AddFolder(L"b.txt");
    Run(nullptr, [&](DialogDriver& d) {
        d.SetText(IDC_FOLDER, tree.Root());
        d.SetText(IDC_PATTERN, L"*.txt");
        d.Click(IDC_START);
        HWND box = d.WaitForMessageBox();
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(L"Folder is empty", DialogDriver::MessageBoxText(box));
        wchar_t caption[32] = {};
        ::GetWindowTextW(box, caption, 32);
        EXPECT_STREQ(L"Sorvik", caption) << "the application's name, from the module";
        d.PressKey(IDC_FOLDER, VK_ESCAPE);
        // The dialog hides as it is destroyed, then waits for the worker,
        // which waits for the answer.
        ASSERT_TRUE(DialogDriver::WaitUntil([&] { return !::IsWindowVisible(d.Dialog()); }));
        EXPECT_TRUE(::IsWindowVisible(box));
        EXPECT_FALSE(d.ExecuteReturned());
        DialogDriver::Answer(box, IDOK);
        EXPECT_TRUE(DialogDriver::WaitUntil([&] { return d.ExecuteReturned(); }))
            << "closing requested the stop: the walk ended after the folder in progress";
    });
}

namespace {

// Refuses every dialog window of this thread, the message boxes included.
LRESULT CALLBACK RefuseDialogs(int code, WPARAM wParam, LPARAM lParam)
{
    wchar_t name[16] = {};
    if (code == HCBT_CREATEWND && ::GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16) &&
        std::wstring(name) == L"#32770")
        return 1;
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

TEST_F(ScannerDialog, WithoutAHostContextTheDialogRunsWithoutDatabase)
{
    plugin.SetHost(nullptr);
    const bool result = ExecuteDriven([this] { return plugin.Execute(); }, [](DialogDriver& d) {
        EXPECT_FALSE(d.IsEnabled(IDC_SQL));
        d.PressKey(IDC_FOLDER, VK_RETURN);
    });
    EXPECT_TRUE(result);

    // A dialog that cannot be shown is no OK.
    const HHOOK hook = ::SetWindowsHookExW(WH_CBT, &RefuseDialogs, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    EXPECT_FALSE(plugin.Execute());
    ::UnhookWindowsHookEx(hook);
}

namespace {

// Reserves every free stretch of address space of at least minimum bytes, so
// that nothing needing that much contiguous room (a thread's stack) can be
// created; smaller allocations still find room in the gaps.
class AddressSpaceHog {
public:
    explicit AddressSpaceHog(SIZE_T minimum)
    {
        for (SIZE_T size = SIZE_T{1} << 30; size >= minimum; size /= 2) {
            while (void* p = ::VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS))
                m_blocks.push_back(p);
        }
    }
    ~AddressSpaceHog() { Release(); }
    void Release()
    {
        for (void* p : m_blocks)
            ::VirtualFree(p, 0, MEM_RELEASE);
        m_blocks.clear();
    }

private:
    std::vector<void*> m_blocks;
};

}  // namespace

TEST_F(ScannerDialog, AWorkerThatCannotBeBegunIsReportedAndTheToggleComesUp)
{
    if (sizeof(void*) == 8)
        GTEST_SKIP() << "64-bit Wine keeps a byte per page of every reservation: filling its 128 TiB takes half a "
                        "minute whatever the block size; the 32-bit run covers the refusal, which is the same code";
    TempTree tree;
    tree.AddFile(L"a.txt");
    Run(nullptr, [&](DialogDriver& d) {
        d.Click(IDC_SHOW_RESULTS);
        d.SetText(IDC_FOLDER, tree.Root());
        AddressSpaceHog hog(256 * 1024);
        d.ClickWithoutWaiting(IDC_START);  // the handler itself shows the box
        HWND box = d.WaitForMessageBox();
        hog.Release();
        ASSERT_NE(nullptr, box);
        EXPECT_NE(std::wstring::npos, DialogDriver::MessageBoxText(box).find(L"could not be started"));
        DialogDriver::Answer(box, IDOK);
        EXPECT_TRUE(DialogDriver::WaitUntil([&] { return !d.FindMessageBox(); }));
        EXPECT_FALSE(d.IsChecked(IDC_START));
        EXPECT_EQ(0, d.RowCount());

        // Nothing is left behind: the next press walks normally.
        d.Click(IDC_START);
        EXPECT_TRUE(d.WaitForWalkEnd());
        EXPECT_EQ(1, d.RowCount());
    });
}

TEST_F(ScannerDialog, AnUnexpectedFailureInTheWalkIsShownAndTheWalkEndsCleanly)
{
    TempTree tree;
    for (int i = 0; i < 3; ++i)
        tree.AddFile(L"f" + std::to_wstring(i));
    TestDatabase sqlite;
    if (sizeof(void*) == 8)
        GTEST_SKIP() << "64-bit Wine starts no thread in an address space cut up like this, so the worker "
                        "never runs; the 32-bit run covers the failure's handling, which is the same code";
    // An SQL text of 32 MB: with no free stretch of 16 MiB left, a thread's
    // stack still fits, but the worker cannot take a copy of the text.
    const SIZE_T stretch = SIZE_T{16} << 20;
    const std::wstring sql = L"INSERT INTO files (path) VALUES ('{FilePath}') -- " + std::wstring(stretch, L'x');

    Run(&sqlite.db, [&](DialogDriver& d) {
        d.SetText(IDC_SQL, sql);
        ASSERT_EQ(sql.size(), d.GetText(IDC_SQL).size());
        d.Click(IDC_WRITE_TO_DATABASE);
        d.Click(IDC_SHOW_RESULTS);
        d.SetText(IDC_FOLDER, tree.Root());
        HWND failure = nullptr;
        {
            AddressSpaceHog hog(stretch);
            d.ClickWithoutWaiting(IDC_START);
            failure = d.WaitForMessageBox(60000);
        }
        ASSERT_NE(nullptr, failure);
        EXPECT_NE(std::wstring::npos, DialogDriver::MessageBoxText(failure).find(L"unexpected error"))
            << Narrow(DialogDriver::MessageBoxText(failure));
        DialogDriver::Answer(failure, IDOK);

        // The end steps still ran: the toggle is up and the next walk starts.
        ASSERT_TRUE(d.WaitForWalkEnd());
        EXPECT_EQ(0, d.RowCount());
        d.SetText(IDC_SQL, L"");
        d.Click(IDC_START);
        ASSERT_TRUE(d.WaitForWalkEnd());
        EXPECT_EQ(3, d.RowCount());
    });
}
