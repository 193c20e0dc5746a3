// Through the real dialog and the sample host's connection, on each engine:
// every file name arrives exactly and none gets into the SQL, and a table
// that another session locks never holds the dialog.
#include "dialog/resource.h"
#include "host/PluginLoader.h"
#include "host/SampleDatabase.h"
#include "host/WinePath.h"
#include "support/DialogDriver.h"
#include "support/HostileTree.h"
#include "support/OdbcQuery.h"
#include "support/RecordingSite.h"
#include "support/SqlLiterals.h"
#include "support/TableLock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>

void PrintTo(Engine engine, std::ostream* os)
{
    *os << EngineName(engine);
}

namespace {

class OnEveryEngine : public ::testing::TestWithParam<Engine> {};

std::string Printable(const std::vector<std::wstring>& row)
{
    std::string text;
    for (const std::wstring& cell : row)
        text += "[" + Narrow(cell) + "]";
    return text;
}

}  // namespace

TEST_P(OnEveryEngine, EveryReachableFileIsOneExactRow)
{
    TestDatabase database(GetParam());
    if (!database.Unreachable().empty())
        GTEST_SKIP() << database.Unreachable();
    ASSERT_TRUE(database.db.IsOpen());
    TempTree tree;
    std::vector<std::wstring> files = MakeHostileTree(tree);
    ASSERT_FALSE(files.empty());

    // What the walk finds, owners included, and the row each file must give.
    // Every name arrives as it was written: Wine decodes them as UTF-8.
    RecordingSite expected;
    expected.options.m_bShowOwner = true;
    expected.Walk(tree.Root());
    ASSERT_TRUE(expected.unlisted.empty()) << Narrow(expected.unlisted[0].folder);
    std::vector<std::wstring> walked = expected.Paths();
    std::sort(walked.begin(), walked.end());
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files, walked) << "each file once: no link followed back up, nothing dangling";
    const ValuesList columns = ReadValuesList(kFilesInsertTemplate);
    ASSERT_TRUE(columns.ok);
    std::vector<std::vector<std::wstring>> wanted;
    for (const FileFacts& file : expected.rows) {
        std::vector<std::wstring> row;
        for (const std::wstring& column : columns.values)
            row.push_back(ReplaceSequentially(column, file));
        wanted.push_back(row);
    }

    CPluginModule plugin;
    CString error;
    ASSERT_TRUE(plugin.Load(PathBesideProgram(L"Sorvik.dll"), error)) << Narrow(error.Str());
    ExecuteWithDatabase(plugin, &database.db, [&](DialogDriver& d) {
        d.StartWritingEveryFact(tree.Root());
        // A prompt would hold the walk: stop waiting as soon as one shows.
        DialogDriver::WaitUntil([&] { return !d.IsChecked(IDC_START) || d.FindMessageBox(); }, 120000);
        const HWND prompt = d.FindMessageBox();
        EXPECT_EQ(nullptr, prompt) << "no prompt: " << Narrow(DialogDriver::MessageBoxText(prompt));
        EXPECT_FALSE(d.IsChecked(IDC_START)) << "the walk ended";
    });

    Rows stored = QueryRows(database.db,
                            L"SELECT title, path, url, created, accessed, written, archived, compressed, hidden, "
                            L"normal, readonly, system, temporary, attributes, length, owner FROM files");
    std::sort(stored.begin(), stored.end());
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(wanted.size(), stored.size()) << "one row per file, and no other";
    for (size_t i = 0; i < std::min(wanted.size(), stored.size()); ++i)
        EXPECT_EQ(wanted[i], stored[i]) << "wanted " << Printable(wanted[i]) << "\n  got " << Printable(stored[i]);
}

TEST_P(OnEveryEngine, StopAndCloseEndAStatementThatALockHoldsAndKeepOneThatEnds)
{
    TestDatabase database(GetParam());
    if (!database.Unreachable().empty())
        GTEST_SKIP() << database.Unreachable();
    ASSERT_TRUE(database.db.IsOpen());
    TempTree tree;
    tree.AddFile(L"a.txt");
    tree.AddFile(L"b.txt");
    CPluginModule plugin;
    CString error;
    ASSERT_TRUE(plugin.Load(PathBesideProgram(L"Sorvik.dll"), error)) << Narrow(error.Str());

    // The lock is released at once after the stop in the last row: the
    // statement then ends within the grace, is never cancelled, and writes
    // the file in progress, as an ordinary stop does.
    const struct {
        const char* how;
        bool close;
        bool releasedAtOnce;
    } rows[] = {{"stop", false, false}, {"close", true, false}, {"stop, lock released at once", false, true}};
    size_t written = 0;
    for (const auto& row : rows) {
        DWORD pressed = 0;
        DWORD ended = 0;
        ExecuteWithDatabase(plugin, &database.db, [&](DialogDriver& d) {
            d.SetText(IDC_SQL, L"INSERT INTO files (path) VALUES ('{FilePath}')");
            d.Click(IDC_WRITE_TO_DATABASE);
            d.Click(IDC_SHOW_RESULTS);
            d.SetText(IDC_FOLDER, tree.Root());
            d.Click(IDC_START);
            ASSERT_TRUE(d.WaitForWalkEnd());  // the rows before the block
            written += 2;

            // A pattern that lists the one file and no "." entry: that file is
            // in progress whenever the stop comes, and its statement waits.
            d.SetText(IDC_PATTERN, L"a.txt");
            std::optional<TableLock> lock(std::in_place, GetParam(), database);
            ASSERT_TRUE(lock->Taken()) << row.how;
            d.Click(IDC_START);
            pressed = ::GetTickCount();
            if (row.close) {
                d.PressKey(IDC_FOLDER, VK_ESCAPE);
                EXPECT_TRUE(DialogDriver::WaitUntil([&] { return d.ExecuteReturned(); })) << row.how;
            } else {
                d.Click(IDC_START);  // up: the stop
                d.Click(IDC_START);  // down: only flips, until the worker's last step lets it up
                if (row.releasedAtOnce) {
                    lock.reset();
                    ++written;
                }
                EXPECT_TRUE(d.WaitForWalkEnd(10000)) << row.how;
                EXPECT_EQ(row.releasedAtOnce ? 3 : 2, d.RowCount()) << row.how << ": the file in progress";
            }
            ended = ::GetTickCount();
            EXPECT_EQ(nullptr, d.FindMessageBox()) << row.how << ": no prompt for a cancel the user caused";
        });
        // The figure the target is about; the assertions above allow a loaded machine.
        std::printf("%s: %s, to the end of the walk: %lu ms\n", EngineName(GetParam()), row.how, ended - pressed);
        EXPECT_EQ(written, QueryRows(database.db, L"SELECT path FROM files").size())
            << row.how << ": every row before the block, once, and nothing after it";
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, OnEveryEngine,
                         ::testing::Values(Engine::Sqlite, Engine::PostgreSql, Engine::MariaDb),
                         [](const ::testing::TestParamInfo<Engine>& engine) { return EngineName(engine.param); });
