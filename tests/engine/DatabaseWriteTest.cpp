#include "framework/UniqueHandle.h"
#include "host/SampleDatabase.h"
#include "host/WinePath.h"
#include "scan/FileTimeText.h"
#include "scan/SqlTemplate.h"
#include "scan/StopCanceller.h"
#include "support/DialogDriver.h"
#include "support/OdbcQuery.h"
#include "support/RecordingSite.h"
#include "support/TableLock.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <thread>

namespace {

std::wstring Count(CDatabase& db)
{
    const Rows rows = QueryRows(db, L"SELECT COUNT(*) FROM files");
    return rows.empty() ? L"?" : rows[0][0];
}

class DatabaseWrite : public ::testing::Test {
protected:
    TempTree tree;
    TestDatabase sqlite;
    RecordingSite site;

    void SetUp() override
    {
        ASSERT_TRUE(sqlite.db.IsOpen());
        site.database = &sqlite.db;
        site.options.m_bWriteToDatabase = true;
    }
};

}  // namespace

TEST_F(DatabaseWrite, EachFileBecomesOneRowWithEveryFact)
{
    tree.AddFile(L"O'Neil.txt", "12345");
    tree.SetTimes(L"O'Neil.txt", 0, 0);  // no date in the list, but a text in SQL
    tree.AddFolder(L"sub");
    tree.AddFile(L"sub\\\u00dcn\u00efc\u00f8de \u2603.dat");
    site.options.m_bShowOwner = true;
    EXPECT_TRUE(site.Walk(tree.Root(), L"*.*", kFilesInsertTemplate));
    ASSERT_EQ(2u, site.rows.size());
    EXPECT_TRUE(site.errors.empty());

    const Rows rows = QueryRows(sqlite.db, L"SELECT * FROM files ORDER BY rowid");
    ASSERT_EQ(2u, rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const FileFacts& f = site.rows[i];
        const std::vector<std::wstring> expected = {
            f.m_strFileTitle.Str(), f.m_strFilePath.Str(), f.m_strFileUrl.Str(),
            FormatFileTime(f.m_timeCreate).Str(), FormatFileTime(f.m_timeAccess).Str(),
            FormatFileTime(f.m_timeWrite).Str(), std::wstring(1, f.m_chArchived),
            std::wstring(1, f.m_chCompressed), std::wstring(1, f.m_chHidden), std::wstring(1, f.m_chNormal),
            std::wstring(1, f.m_chReadOnly), std::wstring(1, f.m_chSystem), std::wstring(1, f.m_chTemporary),
            f.m_strAllAttributes.Str(), f.m_strFileLength.Str(), f.m_strFileOwner.Str()};
        EXPECT_EQ(expected, rows[i]);
    }
    EXPECT_EQ(L"O'Neil", rows[0][0]);
    EXPECT_EQ(L"00:00:00 01.01.1970", rows[0][3]);  // TZ=UTC
    EXPECT_EQ(L"5", rows[0][14]);
    EXPECT_EQ(L"\u00dcn\u00efc\u00f8de \u2603", rows[1][0]);

    // A template that holds the content hash has it read; only then.
    RecordingSite hashing(sqlite.db);
    EXPECT_TRUE(
        hashing.Walk(tree.Root(), L"*.*", L"UPDATE files SET owner = '{FileSha256}' WHERE path = '{FilePath}'"));
    EXPECT_EQ(L"5994471abb01112afcc18159f6cc74b4f511b99806da59b3caf5a9c173cacfc5",
              QueryRows(sqlite.db, L"SELECT owner FROM files ORDER BY rowid")[0][0]);
    EXPECT_TRUE(site.rows[0].m_strFileSha256.IsEmpty());
}

TEST_F(DatabaseWrite, AnErrorIsReportedAndGoingOnKeepsTheRow)
{
    tree.AddFile(L"a.txt");
    tree.AddFile(L"b.txt");
    EXPECT_TRUE(site.Walk(tree.Root(), L"*.*", L"INSERT INTO no_such_table VALUES (1)"));
    EXPECT_EQ(2u, site.rows.size()) << "each file keeps its result row";
    ASSERT_EQ(2u, site.errors.size()) << "every failing file is reported";
    EXPECT_NE(std::wstring::npos, site.errors[0].find(L"no_such_table"));
    EXPECT_NE(std::wstring::npos, site.errors[0].find(L"SQLSTATE"));
}

TEST_F(DatabaseWrite, NoEndsTheWholeWalkAndKeepsWhatWasDone)
{
    // The file titled "fail" breaks a constraint; everything else is inserted.
    tree.AddFolder(L"d1");
    tree.AddFolder(L"d1\\d2");
    for (int i = 0; i < 3; ++i) {
        tree.AddFile(L"d1\\d2\\deep" + std::to_wstring(i));
        tree.AddFile(L"top" + std::to_wstring(i));
    }
    tree.AddFile(L"d1\\d2\\fail");
    std::vector<std::wstring> all;
    RecordingSite lister;
    lister.Walk(tree.Root());
    all = lister.Paths();

    sqlite.db.ExecuteSQL(L"CREATE TABLE guarded (title TEXT CHECK (title <> 'fail'), path TEXT)");
    site.goOn = {false};
    EXPECT_FALSE(site.Walk(tree.Root(), L"*.*", L"INSERT INTO guarded VALUES ('{FileTitle}', '{FilePath}')"));
    ASSERT_EQ(1u, site.errors.size());
    const size_t failing = static_cast<size_t>(
        std::find(all.begin(), all.end(), tree.Path(L"d1\\d2\\fail")) - all.begin());
    EXPECT_EQ(std::vector<std::wstring>(all.begin(), all.begin() + static_cast<long>(failing)), site.Paths())
        << "rows stop before the failing file, at every level";
    const Rows written = QueryRows(sqlite.db, L"SELECT COUNT(*) FROM guarded");
    ASSERT_EQ(1u, written.size());
    EXPECT_EQ(std::to_wstring(failing), written[0][0]);
}

TEST_F(DatabaseWrite, NoAfterAnEarlierYes)
{
    tree.AddFile(L"a");
    tree.AddFile(L"b");
    tree.AddFile(L"c");
    site.goOn = {true, false};
    EXPECT_FALSE(site.Walk(tree.Root(), L"*.*", L"bogus statement"));
    EXPECT_EQ(2u, site.errors.size());
    EXPECT_EQ(1u, site.rows.size());
}

TEST_F(DatabaseWrite, AStopFinishesTheFileInProgressAndCancelsOnlyItsOwnStatementPastTheGrace)
{
    tree.AddFile(L"a.txt");
    tree.AddFile(L"b.txt");
    const LPCWSTR insert = L"INSERT INTO files (path) VALUES ('{FilePath}')";
    const CKernelHandle returned(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    site.options.m_bShowOwner = true;
    // Moments in ms from the first file's owner step: the stop, the end of
    // that step (its statement starts then) and the release of the lock
    // (0: no lock; INFINITE: after the walk). The rows share one canceller
    // and follow each other, so the third runs right after a cancelled
    // statement. The grace counts from the stop for a statement already
    // running, else from the statement's own start. Last, an earlier walk's
    // canceller outlives its walk while a lock holds this one's statement for
    // longer than the grace.
    const struct {
        const char* how;
        Engine engine;
        bool stale;
        DWORD stopAt, stepEndsAt, releaseAt;
        size_t listed;
        const wchar_t* stored;
    } rows[] = {
        {"a slow owner lookup", Engine::Sqlite, false, 0, 1500, 0, 1, L"1"},
        {"a statement that a lock holds", Engine::Sqlite, false, 0, 0, INFINITE, 0, L"1"},
        {"a statement that starts 0.9 s after the stop, held 0.5 s", Engine::Sqlite, false, 0, 900, 1400, 1, L"2"},
        {"a statement that starts 0.9 s after the stop, held 0.5 s", Engine::PostgreSql, false, 0, 900, 1400, 1, L"1"},
        {"a statement that starts 0.9 s after the stop, held 0.5 s", Engine::MariaDb, false, 0, 900, 1400, 1, L"1"},
        {"a statement held 0.8 s before the stop and 0.5 s after", Engine::Sqlite, false, 800, 0, 1300, 1, L"3"},
        {"an earlier walk's canceller", Engine::Sqlite, true, 0, 0, 3000, 2, L"5"},
    };
    for (const auto& row : rows) {
        std::optional<TestDatabase> server;
        TestDatabase& database = row.engine == Engine::Sqlite ? sqlite : server.emplace(row.engine);
        if (!database.Unreachable().empty())
            continue;
        const std::string what = row.how + std::string(", ") + EngineName(row.engine);
        site.database = &database.db;
        std::optional<TableLock> lock;
        if (row.releaseAt)
            lock.emplace(row.engine, database);
        ASSERT_TRUE(!lock || lock->Taken()) << what;
        const unsigned round = site.cancel.BeginRound();
        ::ResetEvent(returned.Get());
        CStopCanceller canceller(site.cancel, returned.Get());
        std::thread timer;
        site.rows.clear();
        site.inOwnerStep = [&](RecordingSite& s) {
            if (!s.rows.empty())
                return;
            // Copied into the timer thread, which outlives this lambda.
            const DWORD start = ::GetTickCount();
            const auto until = [start](DWORD ms) {
                DialogDriver::WaitUntil([=] { return ::GetTickCount() - start >= ms; });
            };
            const auto stop = [&s, &row, &canceller, round] {
                s.options.m_bStop = !row.stale;
                EXPECT_TRUE(canceller.Begin(row.stale ? round - 1 : round)) << row.how;
            };
            if (!row.stopAt)
                stop();
            timer = std::thread([&row, &lock, until, stop] {
                if (row.stopAt) {
                    until(row.stopAt);
                    stop();
                }
                if (lock && row.releaseAt != INFINITE) {
                    until(row.releaseAt);
                    lock.reset();
                }
            });
            until(row.stepEndsAt);
        };
        EXPECT_EQ(row.releaseAt != INFINITE, site.Walk(tree.Root(), L"*.*", insert)) << what;
        ::SetEvent(returned.Get());
        if (timer.joinable())
            timer.join();
        site.options.m_bStop = false;
        lock.reset();
        EXPECT_EQ(row.listed, site.rows.size()) << what;
        EXPECT_TRUE(site.errors.empty()) << what << ": nothing asks";
        EXPECT_EQ(row.stored, Count(database.db)) << what;
    }
}

TEST_F(DatabaseWrite, ACancelThatTheDriverLosesIsRepeatedUntilTheStatementEnds)
{
    TableLock lock(Engine::Sqlite, sqlite);
    ASSERT_TRUE(lock.Taken());
    CStatementHandle stmt;
    ASSERT_TRUE(SqlSucceeded(::SQLAllocHandle(SQL_HANDLE_STMT, sqlite.db.m_hdbc, stmt.Put())));
    const unsigned round = site.cancel.BeginRound();
    // The first cancel comes as the statement is published, before it runs:
    // the driver drops it.
    site.cancel.Enter(stmt.Get());
    EXPECT_EQ(CStopCanceller::kRepeatMs, site.cancel.CancelOverdue(round, ::GetTickCount(), 0, CStopCanceller::kRepeatMs));
    const CKernelHandle returned(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CStopCanceller canceller(site.cancel, returned.Get());
    ASSERT_TRUE(canceller.Begin(round));
    std::wstring insert = L"INSERT INTO files (path) VALUES ('x')";
    const SQLRETURN rc = ::SQLExecDirectW(stmt.Get(), reinterpret_cast<SQLWCHAR*>(&insert[0]), SQL_NTS);
    EXPECT_TRUE(site.cancel.Leave());
    ::SetEvent(returned.Get());
    EXPECT_EQ(SQL_ERROR, rc) << "the lock is still held: only a cancel ends the statement";
}

TEST_F(DatabaseWrite, UpdateThatMatchesNothingIsNoError)
{
    tree.AddFile(L"a.txt");
    EXPECT_TRUE(site.Walk(tree.Root(), L"*.*", L"UPDATE files SET owner = 'x' WHERE path = '{FilePath}'"));
    EXPECT_TRUE(site.errors.empty());
    EXPECT_EQ(1u, site.rows.size());
}

TEST_F(DatabaseWrite, NothingIsWrittenUnlessEveryConditionHolds)
{
    tree.AddFile(L"a.txt");
    const wchar_t tmpl[] = L"INSERT INTO files (title) VALUES ('{FileTitle}')";

    site.options.m_bWriteToDatabase = false;
    site.Walk(tree.Root(), L"*.*", tmpl);
    site.options.m_bWriteToDatabase = true;
    site.Walk(tree.Root(), L"*.*", L"");
    site.database = nullptr;
    site.Walk(tree.Root(), L"*.*", tmpl);
    CDatabase closed;
    site.database = &closed;
    site.Walk(tree.Root(), L"*.*", tmpl);

    EXPECT_EQ(L"0", Count(sqlite.db));
    EXPECT_TRUE(site.errors.empty());
    EXPECT_EQ(4u, site.rows.size()) << "the result list fills regardless";

    // A template of blanks counts as a template: the driver gets to judge it.
    site.database = &sqlite.db;
    site.Walk(tree.Root(), L"*.*", L"  ");
    EXPECT_EQ(5u, site.rows.size());
}

TEST_F(DatabaseWrite, ExceptionCarriesEveryDiagnosticRecord)
{
    for (const Engine engine : {Engine::Sqlite, Engine::PostgreSql, Engine::MariaDb}) {
        TestDatabase database(engine);
        if (!database.Unreachable().empty())
            continue;
        try {
            database.db.ExecuteSQL(L"SELECT * FROM missing_table");
            ADD_FAILURE() << "expected an error";
        } catch (CDBException* e) {
            ASSERT_FALSE(e->m_records.empty());
            EXPECT_EQ(5, e->m_records[0].strState.GetLength());
            EXPECT_NE(std::wstring::npos, e->m_records[0].strMessage.Str().find(L"missing_table"))
                << EngineName(engine) << ": " << Narrow(e->m_strError.Str().substr(0, 200));
            EXPECT_LT(e->m_records.size(), 4u) << EngineName(engine);
            e->Delete();
        }
    }
    CDatabase closed;
    try {
        closed.ExecuteSQL(L"SELECT 1");
        FAIL() << "a closed connection cannot run statements";
    } catch (CDBException* e) {
        EXPECT_FALSE(e->m_strError.IsEmpty());
        e->Delete();
    }
}

TEST_F(DatabaseWrite, CraftedNamesStayInsideTheirLiterals)
{
    // A name that tries to end the literal, and look-alike quotes and
    // backslashes that an ANSI conversion would turn into real ones.
    const std::wstring names[] = {L"x'); DROP TABLE files; --.txt", L"it\uff07s \u02bcquoted\u2032.txt",
                                  L"back\uff3cslash\u2216.txt"};
    for (const std::wstring& name : names)
        tree.AddFile(name);
    EXPECT_TRUE(site.Walk(tree.Root(), L"*.*", L"INSERT INTO files (title, path) VALUES ('{FileTitle}', '{FilePath}')"));
    EXPECT_TRUE(site.errors.empty());

    const Rows rows = QueryRows(sqlite.db, L"SELECT path FROM files ORDER BY path");
    ASSERT_EQ(3u, rows.size()) << "the table survived and holds one row per file";
    std::vector<std::wstring> expected;
    for (const std::wstring& name : names)
        expected.push_back(tree.Path(name));
    std::sort(expected.begin(), expected.end());
    std::vector<std::wstring> actual;
    for (const auto& row : rows)
        actual.push_back(row[0]);
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(expected, actual);
}

TEST(UtcTimes, EachEngineTakesTheTextAsItStandsIntoItsTimeType)
{
    // Read back to each engine's precision, in time order, which is the texts' order too.
    FileFacts f;
    f.m_timeCreateUtc = {0x6ed33287, 0x1da0a07};  // 2023-10-29T01:30:00.1234567
    f.m_timeAccessUtc = {0xd4f234c0, 0x19db1de};  // 1969-12-31T23:59:59.5000000
    f.m_timeWriteUtc = {1, 0};                    // 1601-01-01T00:00:00.0000001
    const std::tuple<Engine, std::wstring, std::wstring, Rows> rows[] = {
        {Engine::PostgreSql, L"timestamp", L"CAST(c AS TEXT)",
         {{L"1601-01-01 00:00:00"}, {L"1969-12-31 23:59:59.5"}, {L"2023-10-29 01:30:00.123457"}}},
        {Engine::MariaDb, L"DATETIME(6)", L"CAST(c AS CHAR)",
         {{L"1601-01-01 00:00:00.000000"}, {L"1969-12-31 23:59:59.500000"}, {L"2023-10-29 01:30:00.123456"}}},
        {Engine::Sqlite, L"TEXT", L"strftime('%Y-%m-%d %H:%M:%f', julianday(c))",
         {{L"1601-01-01 00:00:00.000"}, {L"1969-12-31 23:59:59.500"}, {L"2023-10-29 01:30:00.123"}}},
    };
    for (const auto& [engine, type, read, stored] : rows) {
        TestDatabase database(engine);  // each statement's failure is the driver's text
        QueryRows(database.db, L"CREATE TEMPORARY TABLE t (c " + type + L")");
        QueryRows(database.db, ExpandSqlTemplate(L"INSERT INTO t VALUES ('{CreateTimeUtc}'), ('{AccessTimeUtc}'), "
                                                 L"('{WriteTimeUtc}')", f).Str());
        EXPECT_EQ(stored, QueryRows(database.db, L"SELECT " + read + L" FROM t ORDER BY c")) << database.Unreachable();
    }
}

namespace {

// The servers' control script (scripts/db-servers.sh) or its folder, as one argument.
std::wstring ServerControl(const wchar_t* variable)
{
    wchar_t value[1024] = {};
    return QuoteArgument(::GetEnvironmentVariableW(variable, value, 1024) < 1024 ? value : L"");
}

// Stops or starts one private server; true once the control script is done.
bool ControlServer(const std::wstring& action, const std::wstring& server)
{
    const std::wstring done = UniqueTempPath(L".done");
    const std::wstring command = L"/bin/bash -c " + QuoteArgument(L"\"$0\" \"$1\" $2 $3 && touch \"$4\"") + L" " +
                                 ServerControl(L"SORVIK_TEST_DB_SCRIPT") + L" " + ServerControl(L"SORVIK_TEST_DB_DIR") +
                                 L" " + action + L" " + server + L" " +
                                 QuoteArgument(UnixPathUnderWine(done.c_str()).Str());
    const bool finished = RunUnixCommand(command, done, true);
    ::DeleteFileW(done.c_str());
    return finished;
}

// Starts a server the test stopped again, whatever the outcome: later tests need it.
struct StoppedServer {
    const std::wstring name;
    bool stopped = false;
    ~StoppedServer() { EXPECT_TRUE(!stopped || ControlServer(L"start", name)) << Narrow(name) << " stays stopped"; }
};

}  // namespace

TEST(DatabaseServers, SuccessWithInformationIsSuccess)
{
    TestDatabase postgres(Engine::PostgreSql);
    if (!postgres.Unreachable().empty())
        GTEST_SKIP() << postgres.Unreachable();
    // PostgreSQL reports the skipped drop as a notice: success with information.
    const std::wstring drop = L"DROP TABLE IF EXISTS no_such_table";
    CStatementHandle stmt;
    ASSERT_TRUE(SqlSucceeded(::SQLAllocHandle(SQL_HANDLE_STMT, postgres.db.m_hdbc, stmt.Put())));
    std::wstring text = drop;
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, ::SQLExecDirectW(stmt.Get(), reinterpret_cast<SQLWCHAR*>(&text[0]), SQL_NTS));

    TempTree tree;
    tree.AddFile(L"a.txt");
    tree.AddFile(L"b.txt");
    RecordingSite site(postgres.db);
    EXPECT_TRUE(site.Walk(tree.Root(), L"*.*", drop.c_str()));
    EXPECT_TRUE(site.errors.empty()) << Narrow(site.errors.empty() ? L"" : site.errors[0]);
    EXPECT_EQ(2u, site.rows.size());
}

TEST(DatabaseServers, AServerStoppedMidWalkAsksForEveryFollowingFile)
{
    TempTree tree;
    for (int i = 0; i < 6; ++i)
        tree.AddFile(L"f" + std::to_wstring(i));
    for (const Engine engine : {Engine::PostgreSql, Engine::MariaDb}) {
        StoppedServer server{engine == Engine::PostgreSql ? L"postgresql" : L"mariadb"};
        std::vector<FileFacts> walked;
        DWORD stoppedAt = 0;
        DWORD firstPromptAt = 0;
        {
            TestDatabase database(engine);
            if (!database.Unreachable().empty())
                GTEST_SKIP() << database.Unreachable();
            RecordingSite site(database.db);
            site.goOn = {true, true, false};
            site.afterRow = [&](RecordingSite& s) {
                if (s.rows.size() == 2) {
                    server.stopped = true;
                    ASSERT_TRUE(ControlServer(L"stop", server.name)) << EngineName(engine);
                    stoppedAt = ::GetTickCount();
                } else if (s.rows.size() == 3) {
                    firstPromptAt = ::GetTickCount();
                }
            };
            EXPECT_FALSE(site.Walk(tree.Root(), L"*.*", kFilesInsertTemplate)) << "No ends the walk";
            walked = site.rows;
            ASSERT_EQ(3u, site.errors.size()) << EngineName(engine) << ": every file after the stop asks";
            EXPECT_EQ(4u, walked.size()) << EngineName(engine) << ": Yes goes on with the row, No ends";
        }
        // Within seconds, not after a driver's network time-out of minutes.
        EXPECT_LT(firstPromptAt - stoppedAt, 30000u) << EngineName(engine);

        server.stopped = false;
        ASSERT_TRUE(ControlServer(L"start", server.name)) << EngineName(engine);
        CDatabase reopened;
        OpenSorvikConnection(reopened, ServerConnectionString(engine).c_str());
        const Rows kept = QueryRows(reopened, L"SELECT path FROM files");
        ASSERT_EQ(2u, kept.size()) << EngineName(engine) << ": rows written before the stop stay";
    }
}

TEST(DatabaseServers, RowsAreTheHostsToCommitWhenAutocommitIsOff)
{
    TestDatabase host(Engine::PostgreSql);
    if (!host.Unreachable().empty())
        GTEST_SKIP() << host.Unreachable();
    ASSERT_TRUE(SqlSucceeded(::SQLSetConnectAttrW(host.db.m_hdbc, SQL_ATTR_AUTOCOMMIT,
                                                  reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
    TempTree tree;
    tree.AddFile(L"a.txt");
    tree.AddFile(L"b.txt");
    RecordingSite site(host.db);
    EXPECT_TRUE(site.Walk(tree.Root(), L"*.*", kFilesInsertTemplate));

    CDatabase other;
    OpenSorvikConnection(other, ServerConnectionString(Engine::PostgreSql).c_str());
    EXPECT_EQ(2u, QueryRows(host.db, L"SELECT path FROM files").size()) << "the host sees its rows";
    EXPECT_EQ(0u, QueryRows(other, L"SELECT path FROM files").size()) << "Sorvik committed nothing";
    ASSERT_TRUE(SqlSucceeded(::SQLEndTran(SQL_HANDLE_DBC, host.db.m_hdbc, SQL_COMMIT)));
    EXPECT_EQ(2u, QueryRows(other, L"SELECT path FROM files").size()) << "the host's commit";
}
