// The README's SQL examples, taken from the README itself and run on every
// engine as a user would paste them.
#include "host/SampleDatabase.h"
#include "support/OdbcQuery.h"
#include "support/RecordingSite.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

namespace {

// The contents of every ```sql block, in order; or of every ```INFO block and ```sql block naming INFO.
std::vector<std::string> FencedBlocks(const std::string& info = "sql")
{
    // Built on Linux: the source path is a Linux path, Z: under Wine.
    std::string path = std::string("Z:") + SORVIK_README;
    std::ifstream readme(path);
    EXPECT_TRUE(readme.good()) << path;
    std::vector<std::string> blocks;
    std::string line;
    bool inside = false;
    while (std::getline(readme, line)) {
        if (!inside && (line == "```" + info || (line.find("```sql ") == 0 && line.find(" " + info) != line.npos))) {
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
    const std::vector<std::string> blocks = FencedBlocks();
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
    TempTree stock;  // for the inventory recipe: paths alike past any index prefix and PostgreSQL's largest entry
    std::wstring deep;
    for (std::minstd_rand random; deep.size() < 3000; stock.AddFolder(deep), deep += L'\\')
        while (deep.size() % 251 != 250)  // names that do not compress
            deep += L"abcdefghijklmnopqrstuvwxyz0123456789"[random() % 36];
    stock.AddFile(L"inventory.cmd");
    const std::string script = FencedBlocks("bat").at(0);
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
        SCOPED_TRACE(EngineName(engine));  // the inventory recipe, filled in as its script does
        for (const wchar_t* file : {L"a.txt", L"gone.txt", L"x", L"y"})  // made anew for each engine
            stock.AddFile(deep + file, "1");
        const std::vector<std::string> recipe = FencedBlocks(EngineName(engine));
        ASSERT_TRUE(recipe.size() == 3 && recipe[1].find('\n') == recipe[1].npos) << "key, template, DELETE";
        database.db.ExecuteSQL(Widen(recipe[0]).c_str());
        EXPECT_TRUE(engine != Engine::PostgreSql || script.find("echo " + recipe[1] + "\n") != script.npos);
        const auto run = [&](const char* host, const char* tag, std::string sql, LPCWSTR pattern) {
            sql.replace(sql.find("%COMPUTERNAME%"), 14, host).replace(sql.find("%RUN%"), 5, tag);
            RecordingSite site(database.db);
            site.Walk(stock.Root(), pattern, Widen(sql).c_str());
            EXPECT_EQ(std::vector<std::wstring>{}, site.errors) << sql;
        };
        const std::wstring rows = L" FROM files WHERE host = 'build-07' ORDER BY title";
        run("build-08", "1", recipe[1], L"*.*");
        run("build-07", "1", recipe[1], L"*.*");
        const Rows first = QueryRows(database.db, L"SELECT title, path, written, attributes, length" + rows);
        run("build-07", "2", recipe[1], L"*.*");
        EXPECT_EQ(first, QueryRows(database.db, L"SELECT title, path, written, attributes, length" + rows));
        ::DeleteFileW(stock.Path(deep + L"gone.txt").c_str());
        stock.AddFile(deep + L"a.txt", "1234");
        run("build-07", "3", recipe[1], L"*.*");
        run("build-07", "3", recipe[2], L"inventory.cmd");
        EXPECT_EQ((Rows{{L"a", L"4"}, {L"inventory", L"0"}, {L"x", L"1"}, {L"y", L"1"}}),
                  QueryRows(database.db, L"SELECT title, length" + rows));
        EXPECT_EQ(5u, QueryRows(database.db, L"SELECT path FROM files WHERE host = 'build-08'").size());
    }
}
