// Every file name reaches each database engine exactly, through the real
// dialog and the sample host's connection, and none gets into the SQL.
#include "dialog/resource.h"
#include "host/PluginLoader.h"
#include "host/SampleDatabase.h"
#include "support/DialogDriver.h"
#include "support/HostileTree.h"
#include "support/OdbcQuery.h"
#include "support/RecordingSite.h"
#include "support/SqlLiterals.h"

#include <gtest/gtest.h>

#include <algorithm>

void PrintTo(Engine engine, std::ostream* os)
{
    *os << EngineName(engine);
}

namespace {

class HostileNames : public ::testing::TestWithParam<Engine> {};

std::string Printable(const std::vector<std::wstring>& row)
{
    std::string text;
    for (const std::wstring& cell : row)
        text += "[" + Narrow(cell) + "]";
    return text;
}

}  // namespace

TEST_P(HostileNames, EveryReachableFileIsOneExactRow)
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
    ASSERT_TRUE(expected.boxes.empty()) << Narrow(expected.boxes[0].text);
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
        d.SetText(IDC_SQL, kFilesInsertTemplate);
        d.Click(IDC_SHOW_OWNER);
        d.Click(IDC_WRITE_TO_DATABASE);
        d.SetText(IDC_FOLDER, tree.Root());
        d.Click(IDC_START);
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

INSTANTIATE_TEST_SUITE_P(Engines, HostileNames,
                         ::testing::Values(Engine::Sqlite, Engine::PostgreSql, Engine::MariaDb),
                         [](const ::testing::TestParamInfo<Engine>& engine) { return EngineName(engine.param); });
