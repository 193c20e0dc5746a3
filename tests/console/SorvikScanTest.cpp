// SorvikScan as a script or a scheduled task meets it: its command line and
// exit codes, its listing read back by standard parsers, its rows beside the
// dialog's, and Ctrl+C while another session's lock holds its statement.
#include "console/ListingWriter.h"
#include "framework/UniqueHandle.h"
#include "host/ConnectionString.h"
#include "host/PluginLoader.h"
#include "host/SampleDatabase.h"
#include "host/WinePath.h"
#include "support/DialogDriver.h"
#include "support/HostileTree.h"
#include "support/OdbcQuery.h"
#include "support/ReadmeBlocks.h"
#include "support/TableLock.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// A word for the Unix shell.
std::string ShellWord(const std::wstring& windowsPath)
{
    return Narrow(ShellQuote(UnixPathUnderWine(windowsPath.c_str()).Str()));
}

// SorvikScan beside this program, its output and errors into files.
class ScanProcess {
public:
    // device: standard output goes there instead of to a file of its own.
    explicit ScanProcess(const std::wstring& arguments, const std::wstring& device = L"")
    {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        const auto open = [&](const std::wstring& path) {
            return CFileHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             &inherit, path == device ? OPEN_EXISTING : CREATE_ALWAYS, 0, nullptr));
        };
        const CFileHandle out = open(device.empty() ? m_out : device);
        EXPECT_TRUE(out) << Narrow(device.empty() ? m_out : device);
        const CFileHandle err = open(m_err);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out.Get();
        startup.hStdError = err.Get();
        std::wstring line = QuoteArgument(PathBesideProgram(L"SorvikScan.exe").Str()) + L" " + arguments;
        PROCESS_INFORMATION process = {};
        if (::CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
            m_process.Reset(process.hProcess);
            ::CloseHandle(process.hThread);
        }
        EXPECT_TRUE(m_process) << "SorvikScan did not start";
    }
    ~ScanProcess()
    {
        if (m_process)
            ::TerminateProcess(m_process.Get(), 1);
        ::DeleteFileW(m_out.c_str());
        ::DeleteFileW(m_err.c_str());
    }
    ScanProcess(const ScanProcess&) = delete;
    ScanProcess& operator=(const ScanProcess&) = delete;

    // Its exit code once it has ended; STILL_ACTIVE after a minute.
    DWORD Wait()
    {
        DWORD code = STILL_ACTIVE;
        if (m_process && ::WaitForSingleObject(m_process.Get(), 60000) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(m_process.Get(), &code);
        return code;
    }
    std::string Out() const { return ReadAll(m_out); }
    std::string Err() const { return ReadAll(m_err); }
    const std::wstring& OutPath() const { return m_out; }
    const std::wstring& ErrPath() const { return m_err; }

private:
    std::wstring m_out = UniqueTempPath(L".out");
    std::wstring m_err = UniqueTempPath(L".err");
    CKernelHandle m_process;
};

// An exclusion that leaves nothing out and names one SorvikScan process
// among every process of the machine, other checkouts' tests included: a
// folder that only this test made, and a count of its own.
std::wstring ProcessMark(const TempTree& unique)
{
    static int count = 0;
    return L"--exclude=" + unique.Root().substr(unique.Root().rfind(L'\\') + 1) + L"-" + std::to_wstring(++count);
}

// SIGINT, as Ctrl+C, to the one process whose command line ends in mark,
// once the shell condition moment holds for its $pid and its standard error
// $err (a minute at most).
::testing::AssertionResult InterruptWhen(const std::wstring& mark, const std::wstring& err, const std::string& moment,
                                         bool send = true)
{
    TempTree marks;
    const std::wstring sent = marks.Path(L"sent");
    if (RunUnixScript("err=" + ShellWord(err) + "; for i in $(seq 600); do pid=$(pgrep -f -- '" + Narrow(mark) +
                          "$'); [ -n \"$pid\" ] && " + moment + " && break; sleep 0.1; done; " +
                          (send ? "kill -INT $pid; " : "") + "touch " + ShellWord(sent) + "\n",
                      sent))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the moment did not come: " << moment;
}

Rows AllFiles(CDatabase& db)
{
    return QueryRows(db, L"SELECT * FROM files ORDER BY rowid");
}

const wchar_t kInsertPath[] = L"INSERT INTO files (path) VALUES ('{FilePath}')";

// Text as "Unicode" text is saved: UTF-16 with its byte-order mark.
std::string Utf16WithMark(const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    for (const wchar_t c : text)
        bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
}

// A server that takes connections on the loopback address and never says a
// word: the driver's login waits for its greeting.
class SilentServer {
public:
    SilentServer()
    {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        EXPECT_TRUE(::bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(m_socket, 16) == 0 &&
                    ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0);
        m_port = std::to_wstring(::ntohs(address.sin_port));
    }
    ~SilentServer() { ::WSACleanup(); }  // closes every socket

    // The engine's driver, as the tests reach it, pointed here.
    std::wstring Connection(Engine engine) const
    {
        return L"Driver=" + std::wstring(ConnectionValue(ServerConnectionString(engine).c_str(), L"Driver").Str()) +
               (engine == Engine::PostgreSql ? L";Servername=127.0.0.1;Username=x;Password=x;Port="
                                             : L";Server=127.0.0.1;Uid=x;Pwd=x;Port=") + m_port + L";Database=x";
    }
    // True once a client has connected; it is held, unanswered.
    bool WaitForClient()
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_socket, &readable);
        timeval minute = {60, 0};
        return ::select(0, &readable, nullptr, nullptr, &minute) == 1 && ::accept(m_socket, nullptr, nullptr) != INVALID_SOCKET;
    }

private:
    SOCKET m_socket;
    std::wstring m_port;
};

}  // namespace

TEST(SorvikScan, CommandLinesBadInputAndExitCodes)
{
    TempTree tree;
    tree.AddFile(L"a.txt");
    tree.AddFile(L"b.txt");
    TempTree nested;
    nested.AddFile(L"a.txt");
    nested.AddFile(L"b.txt");
    nested.AddFolder(L"sub");
    nested.AddFile(L"sub\\c.txt");
    TestDatabase sqlite;
    TestDatabase postgres(Engine::PostgreSql);
    SilentServer silent;
    const std::wstring folder = QuoteArgument(tree.Root());
    const std::wstring nest = QuoteArgument(nested.Root());
    // Held by an opener that shares nothing: its content cannot be read.
    TempTree held;
    const CFileHandle lock(::CreateFileW(held.AddFile(L"held.txt", "x").c_str(), GENERIC_READ, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    const std::wstring db = L" --database " + QuoteArgument(sqlite.ConnectionString().Str());
    const std::wstring insert = db + L" --sql " + QuoteArgument(kInsertPath);
    const std::wstring after = L" --after-sql " + QuoteArgument(L"INSERT INTO files (path) VALUES ('after')");
    // A statement with {FolderPath} runs once a folder given, each spelt as stored.
    const std::wstring quoted = held.AddFolder(L"it's");
    const std::wstring eachFolder = L" --before-sql " + QuoteArgument(L"CREATE TABLE folders (path TEXT)") +
                                    L" --before-sql " + QuoteArgument(L"INSERT INTO folders VALUES ('{FolderPath}')");
    TempTree templates;
    const std::wstring files[] = {
        templates.AddFile(L"empty.sql"),
        templates.AddFile(L"latin1.sql", "INSERT INTO files (title) VALUES ('caf\xe9')"),
        templates.AddFile(L"good.sql", "\xEF\xBB\xBFINSERT INTO files (path, title) VALUES ('{FilePath}', 'caf\xC3\xA9')\r\n"),
        // Cut at the NUL, this would write a row per file: it must not run at all.
        templates.AddFile(L"with-nul.sql", std::string("INSERT INTO files (path) VALUES ('{FilePath}')") + '\0' + " AND nothing"),
        // As "Unicode" text is saved: UTF-16 with its mark.
        templates.AddFile(L"utf16.sql", Utf16WithMark(L"UPDATE files SET title = title || '\u6587' WHERE path = '{FilePath}'\r\n")),
    };
    const struct {
        std::wstring arguments;
        DWORD exit;
        const char* said;  // on standard error, or on standard output for the usage
        const wchar_t* out = L"";  // a device for standard output, else a file
    } rows[] = {
        {L"--help", 0, "Usage: SorvikScan FOLDER"},
        {folder + L" -h", 0, "Usage: SorvikScan FOLDER"},
        {L"/?", 0, "Usage: SorvikScan FOLDER"},
        {L"", 2, "No folder to walk."},
        {folder + L" --bogus", 2, "Unknown option --bogus"},
        // After "--" an argument that looks like an option is a folder.
        {folder + L" -- --owner", 1, "--owner: cannot be listed (error 3)\nSorvikScan: 2 files"},
        {folder + L" --list xml", 2, "--list takes csv or jsonl, not xml"},
        {folder + L" --on-error=maybe", 2, "--on-error takes stop or continue"},
        {folder + L" --pattern a.txt --pattern=b.txt", 2, "--pattern is given twice"},
        {folder + L" --pattern a.txt --include b.txt", 2, "Give --pattern or --include, not both"},
        {folder + L" --exclude C:\\x", 2, "--exclude C:\\x: a path to leave out starts below the folders given"},
        {folder + L" --exclude a\\\\b", 2, "--exclude a\\\\b: every name in a path must be a name"},
        {folder + L" --include sub\\*.txt", 2, "--include sub\\*.txt: a pattern for files is a name"},
        {folder + L" --max-depth 0", 2, "--max-depth takes a whole number of levels from 1 to 32767, not 0"},
        {folder + L" --list jsonl --bom", 2, "--bom is for the CSV listing"},
        {folder + L" --hash" + db + L" --sql x", 2, "--hash fills the listing's FileSha256: give --list too"},
        // Several folders, one inside another and one given twice: each file once.
        {QuoteArgument(nested.Path(L"sub")) + L" " + nest + L" " + nest + L"\\. --hash --bom", 0,
         "3 files, 2 folders, 0 statements, 0 warnings"},
        {nest + L" --exclude sub --exclude A.TXT", 0, "1 files, 1 folders"},
        {nest + L" --exclude \\sub\\c.* --include *.txt", 0, "2 files, 2 folders"},
        {nest + L" --max-depth 1", 0, "2 files, 1 folders"},
        {QuoteArgument(held.Root()) + L" --hash", 1, "held.txt: cannot be read for its SHA-256 (error 32)\nSorvikScan: 1 files"},
        {folder + L" --owner --owner", 2, "--owner is given twice"},
        {folder + L" --database \"\" --sql x", 2, "--database is empty text"},
        {folder + db + L" --sql \" \t \"", 2, "The template holds only blanks"},
        {folder + L" --login-timeout 0", 2, "--login-timeout takes whole seconds from 1 to 86400, not 0"},
        {folder + after, 2, "--before-sql and --after-sql need --database"},
        {folder + L" --batch 10", 2, "--batch needs --database"},
        {folder + insert + L" --batch 100001", 2, "--batch takes a count of files from 1 to 100000, not 100001"},
        {folder + insert + L" --after-sql \" \"", 2, "--after-sql holds only blanks"},
        {folder + L" --sql " + QuoteArgument(kInsertPath), 2, "A template needs --database"},
        {folder + db, 2, "--database needs a template"},
        {folder + db + L" --sql-file " + QuoteArgument(files[0]), 2, "is empty"},
        {folder + db + L" --sql-file " + QuoteArgument(files[1]), 2, "is not UTF-8 text"},
        {folder + db + L" --sql-file " + QuoteArgument(tree.Path(L"none.sql")), 2, "cannot be read (error 2)"},
        {folder + db + L" --sql-file " + QuoteArgument(files[3]), 2, "holds a NUL character"},
        {folder + L" --database Driver=Z:\\no\\such\\driver.so --sql x", 4, "Cannot open the database: "},
        // psqlODBC gives up at the time-out itself, in its own words (2 s,
        // the least its library takes), before the program's own deadline.
        {folder + L" --database " + QuoteArgument(silent.Connection(Engine::PostgreSql)) + L" --sql x --login-timeout 2",
         4, "Cannot open the database: connection to server at \"127.0.0.1\""},
        {folder + L" --database " + QuoteArgument(silent.Connection(Engine::MariaDb)) + L" --sql x --login-timeout 1",
         4, "Cannot open the database: the server did not answer within 1 s (--login-timeout)"},
        {QuoteArgument(tree.Path(L"missing")) + insert + after, 1,
         "(error 3)\nThe --after-sql statements were not run: the run did not end with 0.\nSorvikScan: 0 files"},
        // A folder that is not there, said as one with nothing matching is.
        {L"\\\\?\\UNC\\" + insert + after, 1, "cannot be listed (error 2)\nThe --after-sql statements were not run"},
        {L"\\\\? --pattern UNC", 1, "\\\\?: cannot be listed (error 2)"},
        {folder + db + L" --sql-file -h", 2, "The template file -h cannot be read"},
        {folder + insert + L" --list csv --before-sql " + QuoteArgument(L"INSERT INTO nowhere VALUES (1)"), 5,
         "error: --before-sql: [SQLite]no such table: nowhere"},
        {folder + db + L" --sql " + QuoteArgument(L"INSERT INTO nowhere VALUES (1)"), 5, "a.txt: [SQLite]no such table: nowhere"},
        {folder + db + L" --on-error continue --sql " + QuoteArgument(L"INSERT INTO nowhere VALUES (1)") + after, 1,
         "0 statements (2 failed)"},
        {folder + db + L" --sql-file " + QuoteArgument(files[2]), 0, "2 files, 1 folders, 2 statements, 0 warnings"},
        {db + L" --sql x --pattern none" + eachFolder + L" -- " + QuoteArgument(CharUpperW(&std::wstring(quoted)[0])) + L" " + folder,
         0, "0 files, 0 folders, 0 statements, 0 warnings"},
        // SQLite would take the byte-order mark as part of the statement; PostgreSQL does not.
        {folder + L" --database " + QuoteArgument(postgres.ConnectionString().Str()) + L" --sql-file " +
             QuoteArgument(files[2]),
         0, "2 files, 1 folders, 2 statements, 0 warnings"},
        {folder + db + L" --sql-file " + QuoteArgument(files[4]) + L" --before-sql " +
             QuoteArgument(L"DELETE FROM files WHERE path = 'after'") + after,
         0, "2 files, 1 folders, 2 statements, 0 warnings"},
        // A full disk: a short listing is written only at the end, and lost there.
        {folder, 1, "the listing cannot be written (error 112); the walk stops.\nSorvikScan: 2 files, 1 folders, 0 statements, 1 warnings", L"Z:\\dev\\full"},
    };
    for (const auto& row : rows) {
        ScanProcess scan(row.arguments, row.out);
        EXPECT_EQ(row.exit, scan.Wait()) << Narrow(row.arguments) << "\n" << scan.Err();
        const bool usage = std::string(row.said).find("Usage:") == 0;
        const std::string said = usage ? scan.Out() : scan.Err();
        EXPECT_NE(std::string::npos, said.find(row.said)) << Narrow(row.arguments) << "\n" << said;
        // A listing asked for has its header, even when --before-sql fails.
        EXPECT_TRUE(row.arguments.find(L" --list csv") == std::wstring::npos || scan.Out().find("FileTitle,") == 0);
        if (usage) {
            // The README shows the usage as the program prints it.
            const std::string shown = said.substr(0, said.find("Walks each FOLDER"));
            EXPECT_NE(std::string::npos, ReadAll(L"Z:" SORVIK_README).find("```\n" + shown + "```")) << shown;
            continue;
        }
        // Every ending says its summary last; a command line that is not understood says why in one line.
        const std::string err = scan.Err();
        const std::string last = err.substr(err.rfind('\n', err.size() - 2) + 1);
        EXPECT_EQ(0u, last.find("SorvikScan: ")) << Narrow(row.arguments) << "\n" << err;
        EXPECT_TRUE(row.exit != 2 || std::count(err.begin(), err.end(), '\n') == 2) << err;
    }

    // A reader that has gone (| head) ends the listing quietly: only the
    // summary, and 0. Only a Unix pipe tells the program so as Wine does
    // (error 233), so SorvikScan runs from the Unix side, on the write end of
    // a pipe whose one reader was closed before it started.
    ASSERT_TRUE(RunUnixScript("cd " + ShellWord(templates.Root()) + " && mkfifo pipe && exec 4<>pipe 5>pipe 4<&- && wine " +
                                  ShellWord(PathBesideProgram(L"SorvikScan.exe").Str()) + " " +
                                  Narrow(ShellQuote(tree.Root())) + " >&5 2>err; echo $? >exit.part; mv exit.part exit\n",
                              templates.Path(L"exit")));
    EXPECT_EQ("0\n", ReadAll(templates.Path(L"exit")));
    EXPECT_EQ(0u, ReadAll(templates.Path(L"err")).find("SorvikScan: 2 files, 1 folders, 0 statements, 0 warnings"))
        << ReadAll(templates.Path(L"err"));

    // Times in UTC are UTC whatever the machine's zone, here 9 hours east
    // (Wine takes the system's zone from the Unix side's TZ).
    const FILETIME noon = {0x32ed2000, 0x01dacbae};  // 2024-07-01T12:00:00Z
    ASSERT_TRUE(::SetFileTime(CFileHandle(::CreateFileW(tree.Path(L"a.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                                        OPEN_EXISTING, 0, nullptr)).Get(),
                              nullptr, nullptr, &noon));
    ASSERT_TRUE(RunUnixScript("cd " + ShellWord(templates.Root()) + " && TZ=JST-9 wine " +
                                  ShellWord(PathBesideProgram(L"SorvikScan.exe").Str()) + " " + Narrow(ShellQuote(tree.Root())) +
                                  " --pattern a.txt >east.part 2>&1; mv east.part east\n",
                              templates.Path(L"east")));
    const std::string east = ReadAll(templates.Path(L"east"));
    EXPECT_NE(std::string::npos, east.find(",21:00:00 01.07.2024,A,")) << east;
    EXPECT_NE(std::string::npos, east.find(",2024-07-01T12:00:00.0000000,")) << east;

    EXPECT_EQ((Rows{{quoted + L"\\"}, {tree.Root() + L"\\"}}), QueryRows(sqlite.db, L"SELECT path FROM folders ORDER BY rowid"));

    // Only the good templates wrote, once per file, and the statement after
    // the walk once; nothing else half-did anything.
    EXPECT_EQ((Rows{{tree.Path(L"a.txt"), L"caf\u00e9\u6587"}, {tree.Path(L"b.txt"), L"caf\u00e9\u6587"}, {L"after", L"<null>"}}),
              QueryRows(sqlite.db, L"SELECT path, title FROM files ORDER BY path"));
}

TEST(SorvikScan, TheHostileTreeIsListedExactlyAndWrittenAsTheDialogWritesIt)
{
    TempTree tree;
    const std::vector<std::wstring> files = MakeHostileTree(tree);
    ASSERT_FALSE(files.empty());

    // Standard parsers read the listings back; every path must be the one
    // the platform's finder gives (escaped here, so that nothing is lost).
    std::string expected = "[";
    for (const std::wstring& file : files) {
        expected += expected.size() > 1 ? ",\"" : "\"";
        for (const wchar_t c : file) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            expected += escape;
        }
        expected += "\"";
    }
    TempTree check;
    const std::wstring expectedPath = check.AddFile(L"expected.json", expected + "]");
    const std::wstring verdict = check.Path(L"verdict");
    ScanProcess csv(QuoteArgument(tree.Root()));
    ScanProcess jsonl(QuoteArgument(tree.Root()) + L" --list jsonl");
    EXPECT_EQ(0u, csv.Wait()) << csv.Err();
    EXPECT_EQ(0u, jsonl.Wait()) << jsonl.Err();
    const std::string compare = R"PY(
import csv, json, os, re, sys
expected = sorted(json.load(open(sys.argv[1])))
with open(sys.argv[2], newline='', encoding='utf-8') as f:
    listed = sorted(row['FilePath'] for row in csv.DictReader(f))
# CSV has no escape for a lone surrogate: it arrives as U+FFFD.
lone = re.compile('[\ud800-\udfff]')
wrong = [] if listed == sorted(lone.sub('\ufffd', p) for p in expected) else ['csv', listed]
with open(sys.argv[3], encoding='utf-8') as f:
    objects = [json.loads(line) for line in f]
if sorted(o['FilePath'] for o in objects) != expected or any(type(o['FileLength']) is not int for o in objects):
    wrong += ['jsonl', objects]
# Written aside, then renamed: the test reads it as soon as it exists.
open(sys.argv[4] + '.part', 'w').write(repr(wrong) if wrong else 'ok')
os.replace(sys.argv[4] + '.part', sys.argv[4])
)PY";
    ASSERT_TRUE(RunUnixScript("python3 - " + ShellWord(expectedPath) + " " + ShellWord(csv.OutPath()) + " " +
                                  ShellWord(jsonl.OutPath()) + " " + ShellWord(verdict) + " <<'PY'" + compare + "PY\n",
                              verdict));
    EXPECT_EQ("ok", ReadAll(verdict)) << "expected " << expected;

    // The same statements as the dialog's, in the same order: the same rows.
    TestDatabase byDialog;
    TestDatabase byScan;
    CPluginModule plugin;
    CString error;
    ASSERT_TRUE(plugin.Load(PathBesideProgram(L"Sorvik.dll"), error)) << Narrow(error.Str());
    ExecuteWithDatabase(plugin, &byDialog.db, [&](DialogDriver& d) {
        d.StartWritingEveryFact(tree.Root());
        EXPECT_TRUE(d.WaitForWalkEnd(120000));
    });
    ScanProcess scan(QuoteArgument(tree.Root()) + L" --owner --database " + QuoteArgument(byScan.ConnectionString().Str()) +
                     L" --sql " + QuoteArgument(kFilesInsertTemplate));
    // Names with a backslash, a tab or a line break reach no file by their path: their
    // owner text is the failure, as in the dialog, and each is said.
    EXPECT_EQ(1u, scan.Wait()) << scan.Err();
    EXPECT_NE(std::string::npos, scan.Err().find("back\\slash.txt: the owner cannot be looked up (error 3)\n")) << scan.Err();
    EXPECT_NE(std::string::npos, scan.Err().find(", 4 warnings,")) << scan.Err();
    const Rows dialogRows = AllFiles(byDialog.db);
    EXPECT_EQ(files.size(), dialogRows.size());
    EXPECT_TRUE(dialogRows == AllFiles(byScan.db)) << "row by row, in order";
}

TEST(SorvikScan, CtrlCOrAShutDownEndsAHeldStatementOrAConnectionStillOpeningAndKeepsEveryRowBefore)
{
    TempTree tree;
    tree.AddFile(L"a.txt");
    tree.AddFile(L"b.txt");
    TempTree many;
    for (int i = 0; i < 20; ++i)
        many.AddFile(L"f" + std::to_wstring(i) + L".txt");
    const std::wstring write = L" --sql " + QuoteArgument(kInsertPath);
    // Each engine's table with two rows before, then locked by another
    // session (on the server engines, while a batch of two waits: the
    // server shows the statement waiting).
    TestDatabase sqlite;
    TestDatabase postgres(Engine::PostgreSql);
    TestDatabase mariadb(Engine::MariaDb);
    for (TestDatabase* db : {&sqlite, &postgres, &mariadb}) {
        ScanProcess before(QuoteArgument(tree.Root()) + L" --database " + QuoteArgument(db->ConnectionString().Str()) + write);
        ASSERT_EQ(0u, before.Wait()) << before.Err();
    }

    // Once the program has its connection: the file in progress is a.txt,
    // whose statement waits for the lock (the program's open files show the
    // database's name). Or while the connection opens, to a server that
    // never answers. Or in a long walk with no statement held: a busy
    // timeout of 0.2 s fails each file's statement and the walk goes on;
    // the interrupt comes after the first failure and must end the walk
    // after the file in progress.
    std::unique_ptr<TableLock> locks[] = {std::make_unique<TableLock>(Engine::Sqlite, sqlite),
                                          std::make_unique<TableLock>(Engine::PostgreSql, postgres),
                                          std::make_unique<TableLock>(Engine::MariaDb, mariadb)};
    ASSERT_TRUE(std::all_of(std::begin(locks), std::end(locks), [](const auto& lock) { return lock->Taken(); }));
    SilentServer silent;
    const std::wstring database = ConnectionValue(sqlite.ConnectionString(), L"Database").Str();
    const std::string openFiles =
        "ls -l /proc/$pid/fd | grep -qF -- '" + Narrow(database.substr(database.rfind(L'/') + 1)) + "'";
    const auto heldIn = [&](const TestDatabase& db, const wchar_t* pattern, const wchar_t* option) {
        return L" --pattern " + std::wstring(pattern) + L" --database " +
               QuoteArgument(db.ConnectionString().Str() + option) + write;
    };
    const std::wstring held = heldIn(sqlite, L"a.txt", L"");
    // Each moment is asked of this test's own servers, never of the machine's
    // processes: another checkout's tests may run the same statements.
    const std::string waiting = "echo \"SELECT 'waiting' FROM information_schema.processlist WHERE state LIKE 'Waiting for table%'\" | ";
    const std::string pgWaiting = "echo \"SELECT 'waiting' FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND query LIKE '%INSERT INTO files%'\" | ";
    const std::wstring connecting =
        L" --pattern a.txt --database " + QuoteArgument(silent.Connection(Engine::PostgreSql)) + write;
    const struct {
        const char* how;
        const TempTree& folder;
        std::wstring arguments;
        std::string moment;  // a shell condition on the program's process $pid and its standard error $err
        bool connecting;
        bool shutDown;
        const char* summary;
    } rows[] = {
        // The database file opens with the connection: on a loaded machine
        // the interrupt may still find it opening, which ends as cleanly.
        {"Ctrl+C, with the statement held", tree, held, openFiles, false, false, "0 files, "},
        {"shut-down, with the statement held", tree, held, openFiles, false, true, "0 files, "},
        {"Ctrl+C, with a batch held by PostgreSQL", tree, heldIn(postgres, L"*.txt", L""),
         pgWaiting + postgres.ClientCommand() + " -At | grep -q waiting", false, false, "0 files, 1 folders, 0 statements"},
        {"Ctrl+C, with a batch held by MariaDB", tree, heldIn(mariadb, L"*.txt", L";OPTION=67108864"),
         waiting + mariadb.ClientCommand() + " | grep -q waiting", false, false, "0 files, 1 folders, 0 statements"},
        {"Ctrl+C, while connecting", tree, connecting, "true", true, false, "0 files, 0 folders"},
        {"shut-down, while connecting", tree, connecting, "true", true, true, "0 files, 0 folders"},
        {"Ctrl+C, in a long walk", many, L" --pattern *.txt --on-error continue --database " +
             QuoteArgument(sqlite.ConnectionString().Str() + L";Timeout=200") + write,
         "grep -q '^error: ' \"$err\"", false, false, " files, 1 folders, 0 statements ("},
    };
    for (const auto& row : rows) {
        const std::wstring mark = ProcessMark(row.folder);
        ScanProcess scan(QuoteArgument(row.folder.Root()) + row.arguments + L" " + mark);
        ASSERT_TRUE(!row.connecting || silent.WaitForClient()) << row.how;
        ASSERT_TRUE(InterruptWhen(mark, scan.ErrPath(), row.moment, !row.shutDown)) << row.how;
        const DWORD pressed = ::GetTickCount();
        if (row.shutDown) {
            // As Windows ends a session: it waits for the answer, then ends the process.
            HWND window = nullptr;
            ASSERT_TRUE(DialogDriver::WaitUntil(
                [&] { return (window = ::FindWindowW(L"SorvikScanSessionEnd", nullptr)) != nullptr; }, 60000));
            DWORD_PTR answer = 0;
            ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 10000, &answer);
            EXPECT_TRUE(answer);
            EXPECT_TRUE(::SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_BLOCK, 10000, &answer));
            EXPECT_NE(std::string::npos, scan.Err().find("SorvikScan: ")) << "the summary is out before it answers";
        }
        EXPECT_EQ(130u, scan.Wait()) << row.how << "\n" << scan.Err();
        std::printf("%s to the end of SorvikScan: %lu ms\n", row.how, ::GetTickCount() - pressed);
        const std::string err = scan.Err();
        const size_t summary = err.find("SorvikScan: ");
        ASSERT_NE(std::string::npos, summary) << row.how << "\n" << err;
        EXPECT_NE(std::string::npos, err.find(row.summary, summary)) << row.how << "\n" << err;
        // After the file in progress: in the long walk, the second or so of twenty.
        EXPECT_LT(std::strtoul(err.c_str() + summary + 12, nullptr, 10), 10ul) << row.how << "\n" << err;
    }
    // Every row before stays, and none came after: read once the locks are gone.
    for (auto& lock : locks)
        lock.reset();
    for (TestDatabase* db : {&sqlite, &postgres, &mariadb})
        EXPECT_EQ(2u, QueryRows(db->db, L"SELECT path FROM files").size()) << Narrow(db->ConnectionString().Str());

    // A commit that no stop can cancel (a deferred trigger waiting for a
    // lock this test holds) outlasts the give-up: its files are said, and
    // their rows land once the lock goes.
    postgres.db.ExecuteSQL(L"CREATE OR REPLACE FUNCTION slowly() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN PERFORM pg_advisory_xact_lock(23); RETURN NULL; END';"
                           L"CREATE CONSTRAINT TRIGGER slowly AFTER INSERT ON files DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION slowly();"
                           L"SELECT pg_advisory_lock(23)");
    const std::wstring committingMark = ProcessMark(tree);
    ScanProcess committing(QuoteArgument(tree.Root()) + heldIn(postgres, L"a.txt", L"") + L" " + committingMark);
    ASSERT_TRUE(DialogDriver::WaitUntil(
        [&] { return !QueryRows(postgres.db, L"SELECT pid FROM pg_locks WHERE locktype = 'advisory' AND objid = 23 AND NOT granted").empty(); }, 60000));
    ASSERT_TRUE(InterruptWhen(committingMark, committing.ErrPath(), "true"));
    EXPECT_EQ(130u, committing.Wait()) << committing.Err();
    EXPECT_NE(std::string::npos, committing.Err().find("of 1 files: their rows may be written, though neither counted nor listed.\nSorvikScan: 0 files, 1 folders, 0 statements")) << committing.Err();
    postgres.db.ExecuteSQL(L"SELECT pg_advisory_unlock(23)");
    EXPECT_TRUE(DialogDriver::WaitUntil([&] { return QueryRows(postgres.db, L"SELECT path FROM files").size() == 3; }, 60000));

    // A server that answers not even the cancel (its process stopped, and
    // let go again whatever the outcome): the stop, or the statement
    // time-out, ends the program all the same, and the batch committed
    // before is counted, not said as committing. The backend stopped is the
    // one this test's server names as running the held statement.
    struct Resume {
        std::wstring pid;
        ~Resume()
        {
            RunUnixCommand(L"/bin/sh -c " + QuoteArgument(L"kill -CONT $(cat \"$0\"); rm -f \"$0\"") + L" " +
                               QuoteArgument(UnixPathUnderWine(pid.c_str()).Str()), pid, false);
        }
    };
    for (const std::wstring option : {L"", L" --statement-timeout 1"}) {
        const bool interrupt = option.empty();
        TempTree marks;
        {
            const Resume resume{marks.Path(L"backend")};
            const std::string backend = ShellWord(resume.pid);
            const std::string heldBackend =
                "echo \"SELECT pid FROM pg_stat_activity WHERE query = 'SELECT pg_sleep(300)' AND state = 'active'\" | " +
                postgres.ClientCommand() + " -At >" + backend + " && [ -s " + backend + " ] && kill -STOP $(cat " + backend + ")";
            const std::wstring mark = ProcessMark(tree);
            ScanProcess hung(QuoteArgument(tree.Root()) + L" --database " + QuoteArgument(postgres.ConnectionString().Str()) +
                             write + L" --after-sql " + QuoteArgument(L"SELECT pg_sleep(300)") + option + L" " + mark);
            ASSERT_TRUE(InterruptWhen(mark, hung.ErrPath(), heldBackend, interrupt)) << Narrow(option);
            EXPECT_EQ(interrupt ? 130u : 5u, hung.Wait()) << hung.Err();
            EXPECT_NE(std::string::npos,
                      hung.Err().find(std::string(interrupt ? "" : "(--statement-timeout); the run stops.\nSorvikScan: the database "
                                                                   "has not given back its statement since the stop; ") +
                                      "ending without it.\nSorvikScan: 2 files, 1 folders, 2 statements"))
                << hung.Err();
        }
        // Let go, the backend would sleep on for its client that is gone.
        QueryRows(postgres.db, L"SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE query = 'SELECT pg_sleep(300)'");
    }
}

// However a batched run ends, the table holds exactly the files it listed,
// less those it said failed, each once, and the summary counts them.
TEST(SorvikScan, EveryEndingOfABatchedRunLeavesExactlyTheRowsItListed)
{
    TempTree tree;
    for (int i = 0; i < 23; ++i)
        tree.AddFile(L"f" + std::to_wstring(i) + L".txt");
    // Refused by the table's check; its error quotes its name, which reads
    // as a lost connection's message does: still the file's error alone.
    tree.AddFile(L"Lost connection to seven.txt", "7 bytes");
    // The title first: PostgreSQL's error quotes the row, each value cut at
    // 64 characters.
    const std::wstring insert = L"INSERT INTO checked (title, path, length) VALUES ('{FileTitle}', '{FilePath}', {FileLength})";
    const std::wstring goneAtNine = L";\nSELECT pg_terminate_backend(pg_backend_pid()) WHERE {FileLength} = 9";
    const std::wstring killedAtNine = L";\nCALL killed_at({FileLength})";
    const std::wstring sleepsAtNine = L";\nSELECT pg_sleep(60) WHERE {FileLength} = 9";
    // Fails as the second row of a transaction: a batch, never a statement alone.
    const std::wstring secondRow = L";\nSELECT 1 / (2 - COUNT(*)) FROM checked WHERE xmin = pg_current_xact_id()::xid";
    for (int i = 0; i < 12; ++i)
        tree.AddFile(L"d" + std::to_wstring(i) + L".dat");
    tree.AddFile(L"nine.dat", "9 bytes..");
    // More listing than its buffer holds: a listing that fails, fails mid-walk.
    const int many = 400;
    for (int i = 0; i < many; ++i)
        tree.AddFile(L"g" + std::to_wstring(i) + L".txt");
    const struct {
        Engine engine;
        std::wstring arguments;
        DWORD exit;
        const char* said = "";  // on standard error
        const wchar_t* full = L"";  // a full device for the listing, which then lists nothing
    } rows[] = {
        {Engine::Sqlite, L" --batch 5 --pattern f*", 0},
        {Engine::Sqlite, L" --batch 1 --pattern f*", 0},
        {Engine::Sqlite, L" --batch 5", 5},
        {Engine::Sqlite, L" --batch 5 --on-error continue", 1},
        {Engine::PostgreSql, L" --batch 5 --pattern f*", 0},
        {Engine::PostgreSql, L" --batch 5", 5},
        {Engine::PostgreSql, L" --batch 5 --on-error continue", 1},
        {Engine::PostgreSql, L" --batch 1 --on-error continue", 1},
        {Engine::PostgreSql, L" --batch 5 --pattern f* --sql " + QuoteArgument(insert + secondRow), 0,
         "(SQLSTATE 22012)) and ran again a statement at a time; every statement was written."},
        {Engine::MariaDb, L" --batch 5", 5},
        {Engine::MariaDb, L" --batch 5 --on-error continue", 1},
        // The server goes away in the middle of a batch: said once, not
        // blamed on a file by a replay that could only fail.
        {Engine::PostgreSql, L" --batch 5 --pattern *.dat --on-error continue --sql " + QuoteArgument(insert + goneAtNine), 5,
         "error: the connection failed in a batch of "},
        {Engine::MariaDb, L" --batch 5 --pattern *.dat --on-error continue --sql " + QuoteArgument(insert + killedAtNine), 5,
         "error: the connection failed in a batch of "},
        // A server that stops answering: the batch in flight is given up, those before stay.
        {Engine::PostgreSql, L" --batch 5 --pattern *.dat --statement-timeout 1 --sql " + QuoteArgument(insert + sleepsAtNine), 5,
         "error: the database has not answered for 1 s (--statement-timeout); the run stops."},
        {Engine::Sqlite, L" --batch 1000 --pattern g*", 1, "the listing cannot be written (error 112); the walk stops.", L"Z:\\dev\\full"},
        {Engine::PostgreSql, L" --batch 5 --pattern g*", 1, "the listing cannot be written (error 112); the walk stops.", L"Z:\\dev\\full"},
    };
    for (const auto& row : rows) {
        TestDatabase db(row.engine);
        db.db.ExecuteSQL(L"DROP TABLE IF EXISTS checked");
        db.db.ExecuteSQL(L"CREATE TABLE checked (title VARCHAR(300), path VARCHAR(300), length INT CHECK (length <> 7))");
        // The server ends the connection itself, as a KILL from elsewhere does.
        if (row.engine == Engine::MariaDb) {
            TempTree made;  // the driver takes no procedure's text: the client makes it
            ASSERT_TRUE(RunUnixScript("printf 'DELIMITER //\\nCREATE OR REPLACE PROCEDURE killed_at(n INT) BEGIN IF n = 9 "
                                      "THEN EXECUTE IMMEDIATE CONCAT(\"KILL \", CONNECTION_ID()); END IF; END//\\n' | " +
                                          db.ClientCommand() + " && touch " + ShellWord(made.Path(L"made")) + "\n",
                                      made.Path(L"made")));
        }
        std::wstring connection = db.ConnectionString().Str();
        // MariaDB takes a batch as one text only with its multi-statement option.
        const bool ownSql = row.arguments.find(L"--sql") != std::wstring::npos;
        if (row.engine == Engine::MariaDb && (row.exit == 1 || ownSql))
            connection += L";OPTION=67108864";
        ScanProcess scan(QuoteArgument(tree.Root()) + L" --list csv --database " + QuoteArgument(connection) +
                         (ownSql ? L"" : L" --sql " + QuoteArgument(insert)) + row.arguments,
                         row.full);
        const std::string how = EngineName(row.engine) + Narrow(row.arguments);
        EXPECT_EQ(row.exit, scan.Wait()) << how << "\n" << scan.Err();
        EXPECT_NE(std::string::npos, scan.Err().find(row.said)) << how << "\n" << scan.Err();
        EXPECT_EQ(std::string(row.said).find("ran again") != std::string::npos,
                  scan.Err().find("ran again a statement at a time") != std::string::npos) << how << "\n" << scan.Err();

        std::vector<std::wstring> expected;
        const std::string out = scan.Out();
        for (size_t line = out.find('\n') + 1; line < out.size(); line = out.find('\n', line) + 1) {
            const size_t path = out.find(',', line) + 1;
            expected.push_back(Widen(out.substr(path, out.find(',', path) - path)));
        }
        const std::string err = scan.Err();
        unsigned long failed = 0;
        for (size_t at = err.find("error: "); at != std::string::npos; at = err.find("error: ", at + 1), ++failed)
            expected.erase(std::remove(expected.begin(), expected.end(), Widen(err.substr(at + 7, err.find(": ", at + 7) - at - 7))),
                           expected.end());
        std::vector<std::wstring> written;
        for (const auto& r : QueryRows(db.db, L"SELECT path FROM checked"))
            written.push_back(r[0]);
        std::sort(expected.begin(), expected.end());
        std::sort(written.begin(), written.end());
        if (*row.full) {
            // In one batch the listing fails amid the lines of its commit, all
            // of whose rows stay; in batches of five the walk stops there.
            const bool oneBatch = row.arguments.find(L"--batch 1000") != std::wstring::npos;
            EXPECT_EQ(oneBatch, written.size() == size_t(many)) << how << "\n" << err;
        } else
            EXPECT_EQ(expected, written) << how << "\n" << err;
        // A batch commits as many files as it is given, no more.
        if (row.engine == Engine::PostgreSql && row.arguments.find(L"--batch 5") != std::wstring::npos) {
            EXPECT_GE(5, std::wcstol(QueryRows(db.db, L"SELECT COALESCE(MAX(n), 0) FROM (SELECT COUNT(*) AS n FROM checked "
                                                      L"GROUP BY xmin::text) t")[0][0].c_str(), nullptr, 10)) << how;
        }
        const size_t summary = err.rfind("SorvikScan: ");
        const std::string counts = std::to_string(written.size() + (row.exit == 1 ? failed : 0)) + " files, ";
        EXPECT_EQ(0u, err.find(counts, summary) - summary - 12) << how << "\n" << err;
        EXPECT_NE(std::string::npos, err.find(" folders, " + std::to_string(written.size()) + " statements", summary))
            << how << "\n" << err;
        EXPECT_EQ(row.exit == 0 || *row.full ? 0ul : 1ul, failed) << how << "\n" << err;
    }
}

TEST(SorvikScan, ANameThatUtf8CannotCarryIsEscapedInJsonAndReplacedInCsv)
{
    FileFacts facts;
    facts.m_strFilePath = L"C:\\a\xD800z\\\"q\",\r\n\x01\x1f\U0001F427";
    facts.m_strFileLength = L"7";
    facts.m_timeWriteUtc = {0x6ed33287, 0x1da0a07};
    facts.m_strFileSha256 = L"ab12";
    // Every control character is escaped in JSON; CSV quotes the field and keeps them.
    const struct {
        ListFormat format;
        const char* header;
        const char* path;
        bool replaced;
        bool bom = false;
    } rows[] = {
        {ListFormat::Jsonl, "{\"FileTitle\":",
         "\"FilePath\":\"C:\\\\a\\ud800z\\\\\\\"q\\\",\\u000d\\u000a\\u0001\\u001f\xF0\x9F\x90\xA7\"", false},
        {ListFormat::Csv,
         "FileTitle,FilePath,FileUrl,CreateTime,AccessTime,WriteTime,ArchivedAttribute,CompressedAttribute,"
         "HiddenAttribute,NormalAttribute,ReadOnlyAttribute,SystemAttribute,TemporaryAtribbute,AllAttributes,"
         "FileLength,FileOwner,CreateTimeUtc,AccessTimeUtc,WriteTimeUtc,FileSha256\r\n,",
         ",\"C:\\a\xEF\xBF\xBDz\\\"\"q\"\",\r\n\x01\x1f\xF0\x9F\x90\xA7\",", true},
        {ListFormat::Csv, "\xEF\xBB\xBF" "FileTitle,FilePath,", ",7,", true, true},
    };
    for (const auto& row : rows) {
        const std::wstring path = UniqueTempPath(L".list");
        {
            const CFileHandle file(
                ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            const CConsoleText out(file.Get());
            CListingWriter listing(out, row.format, row.bom);
            bool replaced = false;
            std::string line;
            listing.Format(facts, line, replaced);
            EXPECT_TRUE(listing.Begin() && listing.WriteFormatted(line) && listing.Flush());
            EXPECT_EQ(row.replaced, replaced);
        }
        const std::string written = ReadAll(path);
        EXPECT_EQ(0u, written.find(row.header)) << written;
        EXPECT_NE(std::string::npos, written.find(row.path)) << written;
        EXPECT_NE(std::string::npos, written.find(row.format == ListFormat::Csv ? ",7," : "\"FileLength\":7,"));
        EXPECT_NE(std::string::npos, written.find(row.format == ListFormat::Csv ? ",,,2023-10-29T01:30:00.1234567,ab12\r\n"
                                                  : "\"\",\"WriteTimeUtc\":\"2023-10-29T01:30:00.1234567\",\"FileSha256\":\"ab12\"}\n"));
        ::DeleteFileW(path.c_str());
    }
}
