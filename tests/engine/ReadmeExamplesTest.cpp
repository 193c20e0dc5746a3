// The README's SQL, taken from the README itself and run on every engine as
// a reader follows it, top to bottom; then the inventory recipe's steps for
// two runs of one machine, in every order they can come in.
#include "framework/UniqueHandle.h"
#include "host/PluginLoader.h"
#include "host/SampleDatabase.h"
#include "support/DialogDriver.h"
#include "support/OdbcQuery.h"
#include "support/ReadmeBlocks.h"
#include "support/RecordingSite.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <random>
#include <thread>
#include <utility>

namespace {

const std::wstring kReadme = L"Z:" SORVIK_README;

// The statement's error, or the empty text when it ran.
std::string TryExecute(CDatabase& db, const std::string& statement)
{
    std::string error;
    try {
        db.ExecuteSQL(Widen(statement).c_str());
    } catch (CDBException* e) {
        error = Narrow(e->m_strError.Str());
        e->Delete();
    }
    return error;
}

void Execute(CDatabase& db, const std::string& statement)
{
    const std::string error = TryExecute(db, statement);
    EXPECT_EQ("", error) << statement;
}

// The temporary tables of a run, gone as a new connection would have them;
// on PostgreSQL the staging table is a view over its rows as text, which a
// prepared statement fills, and the run's planner settings.
void ForgetRun(CDatabase& on, Engine engine)
{
    if (engine == Engine::PostgreSql) {
        Execute(on, "DROP VIEW IF EXISTS sorvik_seen");
        if (!QueryRows(on, L"SELECT 1 FROM pg_prepared_statements WHERE name = 'sorvik_stage'").empty())
            Execute(on, "DEALLOCATE sorvik_stage");
        Execute(on, "RESET enable_nestloop");
    }
    for (const char* table : {"sorvik_run", "sorvik_seen", "sorvik_seen_raw", "sorvik_name_check"})
        Execute(on, std::string("DROP TABLE IF EXISTS ") + table);
}

// Runs statements: the rows of files they insert, update and delete, as the
// engine counts them: MariaDB's affected rows, SQLite's changes, PostgreSQL's
// table statistics within their transaction (which hold until then the
// counts of earlier transactions not yet sent too: hence the difference).
// On PostgreSQL, counted may name other figures of those statistics.
long long FilesRowsWritten(CDatabase& on, Engine engine, const std::vector<std::string>& statements,
                           const std::wstring& counted = L"n_tup_ins + n_tup_upd + n_tup_del")
{
    const auto count = [&](const std::wstring& query) {
        const Rows rows = QueryRows(on, query.c_str());
        return rows.empty() ? -1 : std::wcstoll(rows[0][0].c_str(), nullptr, 10);
    };
    const std::wstring total = engine == Engine::Sqlite ? L"SELECT total_changes()"
                                                        : L"SELECT COALESCE(SUM(" + counted + L"), 0) "
                                                          L"FROM pg_stat_xact_user_tables WHERE relname = 'files'";
    if (engine == Engine::PostgreSql)
        Execute(on, "BEGIN");
    long long written = engine == Engine::MariaDb ? 0 : -count(total);
    for (const std::string& statement : statements) {
        Execute(on, statement);
        written += engine == Engine::MariaDb ? count(L"SELECT ROW_COUNT()") : 0;
    }
    written += engine == Engine::MariaDb ? 0 : count(total);
    if (engine == Engine::PostgreSql)
        Execute(on, "COMMIT");
    return written;
}

// An inventory recipe as the README gives it, filled in for one machine, and
// its steps as SorvikScan takes them on a connection of its own.
struct Recipe {
    Engine engine;
    std::vector<std::string> opening;
    std::string fileTemplate;
    std::vector<std::string> closing;

    void Open(CDatabase& on) const
    {
        ForgetRun(on, engine);
        for (const std::string& statement : opening)
            Execute(on, statement);
    }
    // The template's statement for one file of C:\data.
    std::string Statement(const wchar_t* title, const wchar_t* length = L"1") const
    {
        FileFacts facts;
        facts.m_strFileTitle = title;
        facts.m_strFilePath = CString(L"C:\\data\\") + title;
        facts.m_strFileLength = length;
        return Narrow(ExpandSqlTemplate(Widen(fileTemplate).c_str(), facts).Str());
    }
    void Write(CDatabase& on, const wchar_t* title, const wchar_t* length = L"1") const
    {
        Execute(on, Statement(title, length));
    }
    // The rows of files that the closing statements write.
    long long Close(CDatabase& on) const { return FilesRowsWritten(on, engine, closing); }
    std::vector<std::string> All() const
    {
        std::vector<std::string> all = opening;
        all.push_back(fileTemplate);
        all.insert(all.end(), closing.begin(), closing.end());
        return all;
    }
};

// The recipes among an engine's blocks, in README order, for the machine
// host (its identity machine, "%MACHINE%" as the script gives it) and its
// folder (as SorvikScan fills it in): each begins with the block that adds
// a run to sorvik_runs.
std::vector<Recipe> ReadRecipes(const std::vector<std::string>& blocks, Engine engine, const std::string& host,
                                const std::string& folder = "C:\\data\\", const std::string& machine = "")
{
    std::vector<Recipe> recipes;
    for (const std::string& block : blocks) {
        const std::string filled = ReplaceAll(ReplaceAll(ReplaceAll(block, "%COMPUTERNAME%", host), "{FolderPath}", folder),
                                              "%MACHINE%", machine.empty() ? "id-of-" + host : machine);
        if (block.find("INSERT INTO sorvik_runs") != std::string::npos)
            recipes.push_back({engine, Statements(filled), "", {}});
        else if (!recipes.empty() && block.find("{File") != std::string::npos)
            recipes.back().fileTemplate = filled;
        else if (!recipes.empty() && (block.find("DELETE FROM files") == 0 || block.find("UPDATE files") == 0))
            recipes.back().closing = Statements(filled);
    }
    return recipes;
}

// A nightly script written for PostgreSQL, with another engine's recipe in
// place of PostgreSQL's: its template, and its opening and closing
// statements as the options that give them.
std::string ScriptFor(std::string script, const Recipe& postgres, const Recipe& engine)
{
    const auto options = [](const char* option, const std::vector<std::string>& statements) {
        std::string text;
        for (const std::string& statement : statements)
            text += std::string(" ") + option + " \"" + statement + "\"";
        return text;
    };
    for (const auto& [from, to] : {std::pair{postgres.fileTemplate, engine.fileTemplate},
                                   std::pair{options("--before-sql", postgres.opening), options("--before-sql", engine.opening)},
                                   std::pair{options("--after-sql", postgres.closing), options("--after-sql", engine.closing)}}) {
        EXPECT_NE(std::string::npos, script.find(from)) << "the script runs the recipe as the README gives it";
        script = ReplaceAll(script, from, to);
    }
    return script;
}

// Two runs of one machine, A and B, whose steps interleave as the bits of
// order say (a set bit: A's next step). B alone sees g and h, files made
// after A passed their folder; h was restored as it was, so a previous run
// wrote its row as B finds it. That run also saw "gone", which no longer
// exists. f2 changed between the two walks: the run begun first sees 1
// byte, the later 2 again, as that run found it. Returns the titles and lengths of the machine's rows;
// lastF2 is the length that the last write of f2 gave.
Rows RunInterleaved(CDatabase& db, CDatabase (&run)[2], const Recipe& recipe, unsigned order, std::wstring& lastF2)
{
    Execute(db, "DELETE FROM files WHERE host = 'build-09'");
    recipe.Open(run[0]);
    for (const wchar_t* title : {L"f1", L"f2", L"gone", L"h"})
        recipe.Write(run[0], title, std::wstring(title) == L"f2" ? L"2" : L"1");
    recipe.Close(run[0]);

    const std::vector<std::vector<const wchar_t*>> steps = {{L"open", L"f1", L"f2", L"close"},
                                                            {L"open", L"f1", L"f2", L"g", L"close"}};
    size_t next[2] = {0, 0};
    int begunFirst = -1;
    for (unsigned bit = 0; bit < 9; ++bit) {
        const int r = (order >> bit) & 1 ? 0 : 1;
        const std::wstring step = steps[r][next[r]++];
        if (step == L"open") {
            begunFirst = begunFirst < 0 ? r : begunFirst;
            recipe.Open(run[r]);
        } else if (step == L"close") {
            recipe.Close(run[r]);
        } else if (step == L"f2") {
            lastF2 = r == begunFirst ? L"1" : L"2";
            recipe.Write(run[r], step.c_str(), lastF2.c_str());
        } else {
            recipe.Write(run[r], step.c_str());
        }
        if (step == L"g")
            recipe.Write(run[r], L"h");
    }
    return QueryRows(db, L"SELECT title, length FROM files WHERE host = 'build-09' ORDER BY title");
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

// A path in capitals, as a person may type it.
std::wstring CharUpper(std::wstring path)
{
    ::CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
    return path;
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

    // The nightly scripts, one a recipe, run PostgreSQL's statements; another
    // engine's take their places.
    std::vector<std::string> scripts;
    for (const std::string& block : ReadmeBlocks(kReadme, "bat"))
        if (block.find("@echo off") == 0)
            scripts.push_back(block);
    const std::vector<Recipe> postgres = ReadRecipes(ReadmeBlocks(kReadme, "PostgreSQL"), Engine::PostgreSql, "%COMPUTERNAME%", "{FolderPath}", "%MACHINE%");
    ASSERT_TRUE(scripts.size() == 2 && postgres.size() == 2);
    for (size_t i = 0; i < scripts.size(); ++i)
        ASSERT_NE(std::string::npos, scripts[i].find("echo " + postgres[i].fileTemplate + "\n"));
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
        const std::vector<std::string> blocks = ReadmeBlocks(kReadme, EngineName(engine), true);
        for (const std::string& block : blocks) {
            const std::string filled =
                ReplaceAll(ReplaceAll(ReplaceAll(block, "%COMPUTERNAME%", "build-07"), "{FolderPath}", Narrow(tree.Root()) + "\\"),
                           "%MACHINE%", "id-of-build-07");
            if (block.find("{File") == std::string::npos) {
                if (block.find("INSERT INTO sorvik_runs") != std::string::npos)
                    ForgetRun(db, engine);  // each run has a connection of its own
                const long long written = FilesRowsWritten(db, engine, Statements(filled));
                if (block.find("UPDATE files") == 0) {
                    EXPECT_EQ(0, written) << "the rows the recipe above wrote are as this one finds them";
                }
                continue;
            }
            EXPECT_EQ(std::string::npos, block.find('\n')) << "the SQL box holds one line:\n" << block;
            RecordingSite site(db);
            EXPECT_TRUE(site.Walk(tree.Root(), L"*.*", Widen(filled).c_str()));
            EXPECT_EQ(std::vector<std::wstring>{}, site.errors) << block;
            if (block.find("INSERT INTO files") == 0 && block.find("%COMPUTERNAME%") == std::string::npos)
                inserted += 3;
        }
        EXPECT_EQ(inserted, QueryRows(db, L"SELECT path FROM files").size());
        EXPECT_EQ((Rows{{L"5"}}), QueryRows(db, L"SELECT DISTINCT length FROM files WHERE title = 'O''Neil'"))
            << "the UPDATE example found its rows";
        EXPECT_EQ((Rows{{L"3"}}), QueryRows(db, L"SELECT COUNT(*) FROM files WHERE title = '\u6587\u4ef6'"));
        EXPECT_EQ((Rows{{L"3"}}), QueryRows(db, L"SELECT COUNT(*) FROM files WHERE host = 'build-07' AND written_utc "
                                               L"IS NOT NULL AND run > 0"))
            << "the inventory template updated the rows the host's template wrote";

        const std::vector<Recipe> recipes = ReadRecipes(blocks, engine, "build-09");
        ASSERT_EQ(2u, recipes.size());
        for (const Recipe& recipe : recipes)
            ASSERT_TRUE(!recipe.opening.empty() && !recipe.fileTemplate.empty() && !recipe.closing.empty());
        const std::wstring connection =
            Widen(ReplaceAll(Narrow(database.ConnectionString().Str()), "Database=sorvik;", "Database=sorvik_latin1;"));
        CDatabase runs[2];
        for (CDatabase& run : runs)
            OpenSorvikConnection(run, connection.c_str());
        for (const Recipe& recipe : recipes) {
            // The upsert writes each file as it is seen: the last sight wins.
            // Staged rows are written at the end: the values of the run begun
            // later win, whichever ends first.
            const bool staged = &recipe == &recipes[1];
            for (unsigned order = 0; order < 512; ++order) {
                if (!IsPossibleOrder(order))
                    continue;
                std::wstring lastF2;
                const Rows rows = RunInterleaved(db, runs, recipe, order, lastF2);
                EXPECT_EQ((Rows{{L"f1", L"1"}, {L"f2", staged ? L"2" : lastF2}, {L"g", L"1"}, {L"h", L"1"}}), rows)
                    << "order " << order;
            }
            const Rows stored = QueryRows(db, L"SELECT title, length FROM files WHERE host = 'build-09'");
            recipe.Open(runs[0]);
            for (const auto& row : stored)
                recipe.Write(runs[0], row[0].c_str(), row[1].c_str());
            EXPECT_EQ(0, recipe.Close(runs[0])) << "the closing statements of a run that finds nothing changed write no row";

            // One machine paused inside a batch holds up no other machine's
            // run, from its start to its end (SQLite takes one writer at a time).
            if (engine == Engine::Sqlite)
                continue;
            const Recipe other = ReadRecipes(blocks, engine, "build-10").at(&recipe - &recipes[0]);
            Execute(runs[1], engine == Engine::MariaDb ? "SET SESSION innodb_lock_wait_timeout = 1" : "SET lock_timeout = 1000");
            recipe.Open(runs[0]);
            runs[0].SetAutoCommit(false);
            recipe.Write(runs[0], L"f1");
            other.Open(runs[1]);
            other.Write(runs[1], L"o1");
            other.Close(runs[1]);
            runs[0].Rollback();
            runs[0].SetAutoCommit(true);
            EXPECT_EQ((Rows{{L"o1"}}), QueryRows(db, L"SELECT title FROM files WHERE host = 'build-10'"));

            // An older run's upsert that reads its run number, then waits for
            // a row that a newer run writes meanwhile (held here in a trigger
            // until then), keeps the newer number: the newer run's DELETE
            // spares the row.
            if (engine == Engine::PostgreSql && &recipe == &recipes[0]) {
                recipe.Open(runs[0]);
                const std::wstring older = QueryRows(runs[0], L"SELECT pg_backend_pid()")[0][0];
                Execute(db, "CREATE OR REPLACE FUNCTION sorvik_held() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN IF "
                            "pg_backend_pid() = " + Narrow(older) + " THEN PERFORM pg_advisory_xact_lock(41); END IF; RETURN NEW; END'");
                Execute(db, "CREATE TRIGGER sorvik_held BEFORE INSERT ON files FOR EACH ROW EXECUTE FUNCTION sorvik_held()");
                Execute(db, "SELECT pg_advisory_lock(41)");
                std::string olderError;
                std::thread held([&] { olderError = TryExecute(runs[0], recipe.Statement(L"held")); });
                EXPECT_TRUE(DialogDriver::WaitUntil([&] {
                    return !QueryRows(db, L"SELECT 1 FROM pg_locks WHERE locktype = 'advisory' AND objid = 41 AND NOT granted").empty();
                }, 60000));
                recipe.Open(runs[1]);
                recipe.Write(runs[1], L"held");
                Execute(db, "SELECT pg_advisory_unlock(41)");
                held.join();
                EXPECT_EQ("", olderError);
                recipe.Close(runs[1]);
                EXPECT_EQ((Rows{{L"1"}}), QueryRows(db, L"SELECT COUNT(*) FROM files WHERE host = 'build-09' AND title = 'held'"));
                Execute(db, "DROP TRIGGER sorvik_held ON files");
            }

            // Another machine that runs under this one's name is refused,
            // named, before it adds a run or writes a row.
            const Recipe twin = ReadRecipes(blocks, engine, "build-10", "C:\\data\\", "another-id").at(&recipe - &recipes[0]);
            ForgetRun(runs[1], engine);
            std::string refused;
            for (size_t i = 0; i < twin.opening.size() && refused.empty(); ++i)
                refused = TryExecute(runs[1], twin.opening[i]);
            EXPECT_NE(std::string::npos, refused.find("another_machine_runs_under_this_name")) << refused;
            EXPECT_EQ((Rows{{L"0"}}), QueryRows(db, L"SELECT COUNT(*) FROM sorvik_runs WHERE machine = 'another-id'"));
        }
        // PostgreSQL's insert goes again past the key when another run of the
        // machine added a file first (a file staged twice fails it so too).
        // On a table emptied and vacuumed, which looks empty to the planner,
        // it must look each file up, not scan the table it grows once a file
        // (for a large first run, hours).
        if (engine == Engine::PostgreSql) {
            Execute(db, "DELETE FROM files");
            Execute(db, "VACUUM files");
            recipes[1].Open(runs[0]);
            for (int i = 0; i < 50; ++i)
                recipes[1].Write(runs[0], (L"n" + std::to_wstring(i % 49)).c_str());
            EXPECT_GT(10, FilesRowsWritten(runs[0], engine, recipes[1].closing, L"seq_scan"));
            EXPECT_EQ(49u, QueryRows(db, L"SELECT path FROM files").size());
        }

        // Each nightly script, for another machine and then this one: reruns,
        // a changed, a new and a deleted file. This machine's rows of the
        // examples above lie in another folder, which no night here walks,
        // and were written as another machine than the scripts' (as one
        // set up anew).
        Execute(db, "DELETE FROM files WHERE host = 'build-07'");
        Execute(db, "DELETE FROM sorvik_runs WHERE host = 'build-07'");
        for (size_t i = 0; i < scripts.size(); ++i) {
            const std::string engineScript =
                ScriptFor(scripts[i], postgres[i], ReadRecipes(blocks, engine, "%COMPUTERNAME%", "{FolderPath}", "%MACHINE%").at(i));
            for (const wchar_t* file : {L"a.txt", L"gone.txt", L"x", L"y"})  // made anew for each script
                stock.AddFile(deep + file, "1");
            ::DeleteFileW(stock.Path(deep + L"new").c_str());
            const auto night = [&](const wchar_t* host, const std::wstring& folder) {
                EXPECT_EQ(0u, RunNightlyScript(engineScript, folder, connection, host)) << Narrow(host);
            };
            const std::wstring rows = L" FROM files WHERE host = 'build-07' ORDER BY title";
            night(L"build-08", stock.Root());
            night(L"build-07", stock.Root());
            const Rows first = QueryRows(db, L"SELECT title, path, written, written_utc, attributes, length" + rows);
            night(L"build-07", stock.Root());
            EXPECT_EQ(first, QueryRows(db, L"SELECT title, path, written, written_utc, attributes, length" + rows));
            ::DeleteFileW(stock.Path(deep + L"gone.txt").c_str());
            stock.AddFile(deep + L"a.txt", "1234");
            stock.AddFile(deep + L"new", "12");
            night(L"build-07", stock.Root());
            const Rows stocked = {{L"a", L"4"}, {L"new", L"2"}, {L"x", L"1"}, {L"y", L"1"}};
            EXPECT_EQ(stocked, QueryRows(db, L"SELECT title, length" + rows));

            // A second task of the machine, over another folder, drops none
            // of the first's rows. The first folder in other capitals is the
            // same folder: its rows keep their one spelling, and a row that
            // an older run wrote in other capitals goes.
            night(L"build-07", tree.Root());
            EXPECT_EQ(stocked.size() + 3, QueryRows(db, L"SELECT title" + rows).size());
            Execute(db, "INSERT INTO files (host, run, title, path, length) VALUES ('build-07', 0, 'ghost', '" +
                            Narrow(CharUpper(stock.Root())) + "\\GHOST', 0)");
            night(L"build-07", CharUpper(stock.Root()));
            EXPECT_EQ(stocked.size() + 3, QueryRows(db, L"SELECT title" + rows).size());
            EXPECT_EQ((Rows{{stock.Path(deep + L"a.txt")}}),
                      QueryRows(db, L"SELECT path FROM files WHERE host = 'build-07' AND title = 'a'"));
            Execute(db, "DELETE FROM files WHERE host = 'build-07'");
        }
        EXPECT_EQ(4u, QueryRows(db, L"SELECT path FROM files WHERE host = 'build-08'").size());
    }
}
