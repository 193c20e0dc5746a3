// The README's SQL, taken from the README itself and run on every engine as
// a reader follows it, top to bottom; then the inventory recipe's steps for
// two runs of one machine, in every order they can come in.
#include "framework/UniqueHandle.h"
#include "host/PluginLoader.h"
#include "host/SampleDatabase.h"
#include "support/OdbcQuery.h"
#include "support/ReadmeBlocks.h"
#include "support/RecordingSite.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

const std::wstring kReadme = L"Z:" SORVIK_README;

void Execute(CDatabase& db, const std::string& statement)
{
    try {
        db.ExecuteSQL(Widen(statement).c_str());
    } catch (CDBException* e) {
        ADD_FAILURE() << statement << "\n" << Narrow(e->m_strError.Str());
        e->Delete();
    }
}

// The inventory recipe's statements, filled in for one machine as its script
// fills them in.
struct Recipe {
    std::vector<std::string> opening;
    std::string fileTemplate;
    std::string closing;
};

// Two runs of one machine, A and B, whose steps interleave as the bits of
// order say (a set bit: A's next step). B alone sees g, a file made after A
// passed its folder; a previous run saw "gone", which no longer exists.
// Returns the titles of the machine's rows.
Rows RunInterleaved(CDatabase& db, CDatabase (&run)[2], const Recipe& recipe, unsigned order)
{
    const auto write = [&](CDatabase& on, const wchar_t* title) {
        FileFacts facts;
        facts.m_strFileTitle = title;
        facts.m_strFilePath = CString(L"C:\\data\\") + title;
        facts.m_strFileLength = L"1";
        Execute(on, Narrow(ExpandSqlTemplate(Widen(recipe.fileTemplate).c_str(), facts).Str()));
    };
    const auto open = [&](CDatabase& on) {
        Execute(on, "DROP TABLE IF EXISTS sorvik_run");
        for (const std::string& statement : recipe.opening)
            Execute(on, statement);
    };
    Execute(db, "DELETE FROM files WHERE host = 'build-09'");
    open(run[0]);
    for (const wchar_t* title : {L"f1", L"f2", L"gone"})
        write(run[0], title);
    Execute(run[0], recipe.closing);

    const std::vector<std::vector<const wchar_t*>> steps = {{L"open", L"f1", L"f2", L"close"},
                                                            {L"open", L"f1", L"f2", L"g", L"close"}};
    size_t next[2] = {0, 0};
    for (unsigned bit = 0; bit < 9; ++bit) {
        const int r = (order >> bit) & 1 ? 0 : 1;
        const std::wstring step = steps[r][next[r]++];
        if (step == L"open")
            open(run[r]);
        else if (step == L"close")
            Execute(run[r], recipe.closing);
        else
            write(run[r], step.c_str());
    }
    return QueryRows(db, L"SELECT title FROM files WHERE host = 'build-09' ORDER BY title");
}

// The README's nightly script as a machine runs it, with cmd, its place,
// folder and connection filled in: its exit code.
DWORD RunNightlyScript(std::string script, const std::wstring& folder, const std::wstring& connection,
                       const std::wstring& host)
{
    TempTree place;
    const std::wstring templateFile = place.Path(L"inventory.sql");
    const auto setLine = [&](const std::string& name, const std::wstring& value) {
        const size_t at = script.find("\nset " + name + "=") + 1;
        script.replace(at, script.find('\n', at) - at, "set " + name + "=" + Narrow(value));
    };
    setLine("DB", connection);
    setLine("SCAN", QuoteArgument(PathBesideProgram(L"SorvikScan.exe").Str()));
    script = ReplaceAll(ReplaceAll(script, "C:\\ProgramData\\Sorvik\\inventory.sql", Narrow(templateFile)),
                        "D:\\Data", Narrow(QuoteArgument(folder)));
    const std::wstring path = place.AddFile(L"inventory.cmd", ReplaceAll(script, "\n", "\r\n"));
    ::SetEnvironmentVariableW(L"COMPUTERNAME", host.c_str());
    std::wstring line = L"cmd /c " + QuoteArgument(path);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    DWORD code = STILL_ACTIVE;
    if (::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        const CKernelHandle owned(process.hProcess);
        ::CloseHandle(process.hThread);
        if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(process.hProcess, &code);
        else
            ::TerminateProcess(process.hProcess, 1);
    }
    return code;
}

// A's four steps among B's five, in order; g, B's fourth, is made only once
// A has started.
bool IsPossibleOrder(unsigned order)
{
    unsigned ofA = 0;
    unsigned ofB = 0;
    bool gAfterAStarted = false;
    for (unsigned bit = 0; bit < 9; ++bit) {
        const bool a = (order >> bit) & 1;
        ofA += a;
        ofB += !a;
        gAfterAStarted = gAfterAStarted || (!a && ofB == 4 && ofA > 0);
    }
    return ofA == 4 && gAfterAStarted;
}

}  // namespace

TEST(ReadmeExamples, EverySectionRunsOnEveryEngineAsAReaderFollowsIt)
{
    const std::vector<std::string> plain = ReadmeBlocks(kReadme, "sql");
    ASSERT_GE(plain.size(), 4u);
    EXPECT_NE(plain.end(), std::find_if(plain.begin(), plain.end(), [](const std::string& block) {
                  return Widen(block) == kFilesInsertTemplate;
              })) << "the template the sample host prints is in the README";

    const std::string script = ReadmeBlocks(kReadme, "bat").at(0);
    // The script writes PostgreSQL's template; another engine's takes its place.
    std::string postgresTemplate;
    for (const std::string& block : ReadmeBlocks(kReadme, "PostgreSQL")) {
        if (block.find("%COMPUTERNAME%") != std::string::npos && block.find("{File") != std::string::npos)
            postgresTemplate = block;
    }
    ASSERT_NE(std::string::npos, script.find("echo " + postgresTemplate + "\n"));
    TempTree stock;  // paths alike past any index prefix and PostgreSQL's largest entry
    std::wstring deep;
    for (std::minstd_rand random; deep.size() < 3000; stock.AddFolder(deep), deep += L'\\')
        while (deep.size() % 251 != 250)  // names that do not compress
            deep += L"abcdefghijklmnopqrstuvwxyz0123456789"[random() % 36];
    TempTree tree;
    tree.AddFile(L"O'Neil.txt", "12345");
    tree.AddFile(L"b.txt");
    tree.AddFile(L"\u6587\u4ef6.txt");  // outside latin1
    for (const Engine engine : {Engine::Sqlite, Engine::PostgreSql, Engine::MariaDb}) {
        SCOPED_TRACE(EngineName(engine));
        TestDatabase database(engine);
        if (!database.Unreachable().empty()) {
            ADD_FAILURE() << database.Unreachable();
            continue;
        }
        CDatabase& db = database.db;
        // A server as a reader may meet it: MariaDB's own default character set.
        if (engine == Engine::MariaDb) {
            Execute(db, "CREATE DATABASE IF NOT EXISTS sorvik_latin1 CHARACTER SET latin1");
            Execute(db, "USE sorvik_latin1");
        }
        Execute(db, "DROP TABLE IF EXISTS files");
        Execute(db, "DROP TABLE IF EXISTS sorvik_runs");
        size_t inserted = 0;
        Recipe recipe;
        std::string recipeBlock;
        for (const std::string& block : ReadmeBlocks(kReadme, EngineName(engine), true)) {
            const std::string filled = ReplaceAll(block, "%COMPUTERNAME%", "build-07");
            const std::string forRecipe = ReplaceAll(block, "%COMPUTERNAME%", "build-09");
            if (block.find("{File") == std::string::npos) {
                for (const std::string& statement : Statements(filled))
                    Execute(db, statement);
                if (block.find("INSERT INTO sorvik_runs") != std::string::npos)
                    recipe.opening = Statements(forRecipe);
                if (block.find("DELETE FROM files") == 0)
                    recipe.closing = forRecipe;
                continue;
            }
            EXPECT_EQ(std::string::npos, block.find('\n')) << "the SQL box holds one line:\n" << block;
            RecordingSite site(db);
            EXPECT_TRUE(site.Walk(tree.Root(), L"*.*", Widen(filled).c_str()));
            EXPECT_EQ(std::vector<std::wstring>{}, site.errors) << block;
            if (block.find("%COMPUTERNAME%") != std::string::npos) {
                recipe.fileTemplate = forRecipe;
                recipeBlock = block;
            }
            else if (block.find("INSERT") == 0)
                inserted += 3;
        }
        EXPECT_EQ(inserted, QueryRows(db, L"SELECT path FROM files").size());
        EXPECT_EQ((Rows{{L"5"}}), QueryRows(db, L"SELECT DISTINCT length FROM files WHERE title = 'O''Neil'"))
            << "the UPDATE example found its rows";
        EXPECT_EQ((Rows{{L"3"}}), QueryRows(db, L"SELECT COUNT(*) FROM files WHERE title = '\u6587\u4ef6'"));
        EXPECT_EQ((Rows{{L"3"}}), QueryRows(db, L"SELECT COUNT(*) FROM files WHERE host = 'build-07' AND written_utc "
                                               L"IS NOT NULL AND run = (SELECT MAX(id) FROM sorvik_runs)"))
            << "the inventory template updated the rows the host's template wrote";

        ASSERT_TRUE(recipe.opening.size() == 2 && !recipe.fileTemplate.empty() && !recipe.closing.empty());
        const std::wstring connection =
            Widen(ReplaceAll(Narrow(database.ConnectionString().Str()), "Database=sorvik;", "Database=sorvik_latin1;"));
        CDatabase runs[2];
        for (CDatabase& run : runs)
            OpenSorvikConnection(run, connection.c_str());
        for (unsigned order = 0; order < 512; ++order) {
            if (!IsPossibleOrder(order))
                continue;
            EXPECT_EQ((Rows{{L"f1"}, {L"f2"}, {L"g"}}), RunInterleaved(db, runs, recipe, order)) << "order " << order;
        }

        // The nightly script, for another machine and then this one: reruns,
        // a changed and a deleted file.
        const std::string engineScript = ReplaceAll(script, postgresTemplate, recipeBlock);
        for (const wchar_t* file : {L"a.txt", L"gone.txt", L"x", L"y"})  // made anew for each engine
            stock.AddFile(deep + file, "1");
        const auto night = [&](const wchar_t* host) {
            EXPECT_EQ(0u, RunNightlyScript(engineScript, stock.Root(), connection, host)) << Narrow(host);
        };
        const std::wstring rows = L" FROM files WHERE host = 'build-07' ORDER BY title";
        night(L"build-08");
        night(L"build-07");
        const Rows first = QueryRows(db, L"SELECT title, path, written, written_utc, attributes, length" + rows);
        night(L"build-07");
        EXPECT_EQ(first, QueryRows(db, L"SELECT title, path, written, written_utc, attributes, length" + rows));
        ::DeleteFileW(stock.Path(deep + L"gone.txt").c_str());
        stock.AddFile(deep + L"a.txt", "1234");
        night(L"build-07");
        EXPECT_EQ((Rows{{L"a", L"4"}, {L"x", L"1"}, {L"y", L"1"}}), QueryRows(db, L"SELECT title, length" + rows));
        EXPECT_EQ(4u, QueryRows(db, L"SELECT path FROM files WHERE host = 'build-08'").size());
    }
}
