// The README's SQL examples, taken from the README itself and run on every
// engine as a user would paste them.
#include "host/SampleDatabase.h"
#include "support/OdbcQuery.h"
#include "support/RecordingSite.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

// The contents of every ```sql block, in order.
std::vector<std::string> SqlBlocks()
{
    // Built on Linux: the source path is a Linux path, Z: under Wine.
    std::string path = std::string("Z:") + SORVIK_README;
    std::ifstream readme(path);
    EXPECT_TRUE(readme.good()) << path;
    std::vector<std::string> blocks;
    std::string line;
    bool inside = false;
    while (std::getline(readme, line)) {
        if (!inside && line == "```sql") {
            inside = true;
            blocks.emplace_back();
        } else if (inside && line == "```") {
            inside = false;
        } else if (inside) {
            blocks.back() += blocks.back().empty() ? line : "\n" + line;
        }
    }
    return blocks;
}

std::wstring Widen(const std::string& utf8)
{
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                          &wide[0], static_cast<int>(wide.size()))));
    return wide;
}

}  // namespace

TEST(ReadmeExamples, EverySqlExampleIsOneLineAndWorksOnEveryEngine)
{
    const std::vector<std::string> blocks = SqlBlocks();
    ASSERT_GE(blocks.size(), 4u);
    bool hostTemplateShown = false;
    for (const std::string& block : blocks) {
        EXPECT_EQ(std::string::npos, block.find('\n')) << "the SQL box holds one line:\n" << block;
        hostTemplateShown = hostTemplateShown || Widen(block) == kFilesInsertTemplate;
    }
    EXPECT_TRUE(hostTemplateShown) << "the template the sample host prints is in the README";
    ASSERT_EQ(0u, blocks[0].find("CREATE TABLE")) << "the files table comes first";

    TempTree tree;
    tree.AddFile(L"O'Neil.txt", "12345");
    tree.AddFile(L"b.txt");
    for (const Engine engine : {Engine::Sqlite, Engine::PostgreSql, Engine::MariaDb}) {
        TestDatabase database(engine);
        if (!database.Unreachable().empty()) {
            ADD_FAILURE() << database.Unreachable();
            continue;
        }
        database.db.ExecuteSQL(L"DROP TABLE files");
        database.db.ExecuteSQL(Widen(blocks[0]).c_str());
        size_t expectedRows = 0;
        for (size_t i = 1; i < blocks.size(); ++i) {
            RecordingSite site(database.db);
            EXPECT_TRUE(site.Walk(tree.Root(), L"*.*", Widen(blocks[i]).c_str()));
            EXPECT_TRUE(site.errors.empty()) << EngineName(engine) << ": " << blocks[i] << "\n"
                                             << Narrow(site.errors.empty() ? L"" : site.errors[0]);
            if (blocks[i].find("INSERT") == 0)
                expectedRows += 2;
        }
        EXPECT_EQ(expectedRows, QueryRows(database.db, L"SELECT path FROM files").size()) << EngineName(engine);
        const Rows updated = QueryRows(database.db, L"SELECT DISTINCT length FROM files WHERE title = 'O''Neil'");
        EXPECT_EQ((Rows{{L"5"}}), updated) << EngineName(engine) << ": the UPDATE example found its rows";
    }
}
