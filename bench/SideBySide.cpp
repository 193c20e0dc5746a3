// Prints what Sorvik and SorvikScan add to the platform calls each file needs:
// every figure beside a bare loop making the same calls on the same tree, the
// two run alternately, with median and spread; then the memory a walk and a
// CSV listing hold on a small and a very large tree. A benchmark, not a test:
// it fails nothing.
// Usage: WalkBenchmark WALK_TREE SMALL_TREE OWNER_TREE LIST_TREE LARGE_TREE HASH_TREE
#include "bench/BareLoops.h"
#include "console/ConsoleSite.h"
#include "dialog/resource.h"
#include "framework/FileFind.h"
#include "framework/UniqueHandle.h"
#include "host/ConnectionString.h"
#include "host/PluginLoader.h"
#include "host/SampleDatabase.h"
#include "scan/FileHash.h"
#include "scan/FileOwner.h"
#include "scan/FolderWalk.h"
#include "scan/SqlTemplate.h"
#include "support/DialogDriver.h"
#include "support/TempTree.h"

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace {

// The walk's site without a window: it counts files and samples the
// process's committed memory every thousand rows.
class BenchSite final : public IScanSite {
public:
    ScanOptions options;
    CDatabase* database = nullptr;
    long rows = 0;
    int failed = 0;
    SIZE_T peakCommitted = 0;
    CStatementCancel cancel;

    ScanOptions& GetScanOptions() override { return options; }
    CDatabase* GetScanDatabase() override { return database; }
    CStatementCancel& GetStatementCancel() override { return cancel; }
    CString GetFileOwner(const CString& path) override { return LookupFileOwner(path); }
    void AddResultRow(const CString&, const FileFacts&) override
    {
        if (++rows % 1000 == 0)
            peakCommitted = std::max(peakCommitted, Committed());
    }
    void ReportFolderNotListed(const CString&, DWORD) override {}
    bool ContinueAfterStatementError(const FileFacts&, const CString&) override
    {
        ++failed;
        return true;
    }

    // Wine reports committed memory as the pagefile usage.
    static SIZE_T Committed()
    {
        PROCESS_MEMORY_COUNTERS counters = {};
        ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
        return counters.PagefileUsage;
    }
};

double Now()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Timed(const std::function<void()>& work)
{
    const double start = Now();
    work();
    return Now() - start;
}

struct Spread {
    double median;
    double low;
    double high;
};

Spread Of(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.front(), samples.back()};
}

// Runs both once to warm caches, then runs times pairs, alternating which
// goes first, and prints one line of the table.
void Compare(const char* figure, long files, int runs, const std::function<double()>& sorvik,
             const std::function<double()>& bare)
{
    sorvik();
    bare();
    std::vector<double> ours;
    std::vector<double> theirs;
    for (int run = 0; run < runs; ++run) {
        if (run % 2 == 0) {
            ours.push_back(sorvik());
            theirs.push_back(bare());
        } else {
            theirs.push_back(bare());
            ours.push_back(sorvik());
        }
    }
    const Spread s = Of(ours);
    const Spread b = Of(theirs);
    printf("| %-30s | %9ld | %8.3f s (%.3f-%.3f) | %8.3f s (%.3f-%.3f) | %5.2f |\n", figure, files, s.median, s.low,
           s.high, b.median, b.low, b.high, b.median / s.median);
    fflush(stdout);
}

long CountFiles(const std::wstring& tree)
{
    long files = 0;
    BareEnumerate(tree, [&files](const std::wstring&, const WIN32_FIND_DATAW&) { ++files; });
    return files;
}

double SorvikWalk(const std::wstring& tree, BenchSite& site, LPCWSTR sqlTemplate = L"")
{
    CFolderWalk walk(site);
    return Timed([&] { walk.ScanFolder(tree.c_str(), L"*.*", sqlTemplate); });
}

// A walk with one option of per-file work ticked, beside the bare loop
// making that work's calls for each file.
void CompareFileWork(const char* figure, const std::wstring& tree, int runs, CRelaxedFlag ScanOptions::*option,
                     void (*bareWork)(const std::wstring& path))
{
    Compare(figure, CountFiles(tree), runs,
            [&] {
                BenchSite site;
                site.options.*option = true;
                return SorvikWalk(tree, site);
            },
            [&] {
                return Timed([&] {
                    BareEnumerate(tree, [&](const std::wstring& path, const WIN32_FIND_DATAW&) { bareWork(path); });
                });
            });
}

// Sorvik's side of a statement figure: a walk of tree that writes a row a
// file into db, timed.
using StatementWalk = std::function<double(const std::wstring& tree, CDatabase& db)>;

void CompareStatements(const char* figure, const std::wstring& tree, const CString& connection, int runs,
                       const StatementWalk& sorvik)
{
    CDatabase db;
    OpenSorvikConnection(db, connection);
    EnsureFilesTable(db);
    const auto empty = [&db] { db.ExecuteSQL(L"DELETE FROM files"); };
    Compare(figure, CountFiles(tree), runs,
            [&] {
                empty();
                return sorvik(tree, db);
            },
            [&] {
                empty();
                return Timed([&] {
                    BareEnumerate(tree, [&db](const std::wstring& path, const WIN32_FIND_DATAW& data) {
                        BareExecute(db, BareStatement(path, data));
                    });
                });
            });
}

double EngineStatements(const std::wstring& tree, CDatabase& db)
{
    BenchSite site;
    site.options.m_bWriteToDatabase = true;
    site.database = &db;
    const double seconds = SorvikWalk(tree, site, kBenchTemplate);
    if (site.failed)
        printf("  (%d statements failed)\n", site.failed);
    return seconds;
}

// The same statements on both sides, or the comparison means nothing.
bool SameStatements(const std::wstring& tree)
{
    bool same = true;
    BareEnumerate(tree, [&same](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        if (!same)
            return;
        CFileFind finder;
        finder.FindFile(path.c_str());
        finder.FindNextFile();
        FileFacts facts;
        GatherFileFacts(finder, facts);
        same = ExpandSqlTemplate(kBenchTemplate, facts).Str() == BareStatement(path, data);
    });
    return same;
}

// The same hashes on both sides, or the comparison means nothing.
bool SameHashes(const std::wstring& tree)
{
    bool same = true;
    CContentHasher hasher;
    const CRelaxedFlag go;
    BareEnumerate(tree, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        unsigned char digest[32];
        CString ours;
        CString theirs;
        DWORD error = 0;
        const unsigned long long length = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        same = same && hasher.Hash(path.c_str(), length, go, ours, error) == CContentHasher::Outcome::Hashed &&
               BareSha256(path, digest);
        FormatHex(digest, 32, theirs);
        same = same && ours == theirs;
    });
    return same;
}

// SorvikScan's scan in process, as its Scan runs it but for the Ctrl+C
// handling (a cost per walk, not per file): the listing's header, the walk on
// the console's site, the rest of the listing, into output.
ScanCounts ConsoleScan(const ScanCommand& command, HANDLE output, CDatabase* database)
{
    const CConsoleText out(output);
    CListingWriter listing(out, command.list);
    CConsoleSite site(command, listing);
    site.SetDatabase(database);
    bool closed = !listing.Begin();
    if (!closed) {
        CFolderWalk walk(site);
        walk.ScanFolders(command.folders, command.pattern.c_str(), command.sql.c_str());
        closed = site.OutputClosed() || !listing.Flush();
    }
    if (closed)
        printf("  (the listing could not be written: error %lu)\n", ::GetLastError());
    return site.Counts();
}

double ConsoleStatements(const std::wstring& tree, CDatabase& db)
{
    ScanCommand command;
    command.folders = {tree.c_str()};
    command.sql = kBenchTemplate;
    command.continueOnError = true;  // as the engine's figure goes on, and counts
    ScanCounts counts;
    const double seconds = Timed([&] { counts = ConsoleScan(command, ::GetStdHandle(STD_OUTPUT_HANDLE), &db); });
    if (counts.failed)
        printf("  (%lu statements failed)\n", static_cast<unsigned long>(counts.failed));
    return seconds;
}

// Writes into a fresh file at path, its creation and closing timed too.
double TimedIntoFile(const std::wstring& path, const std::function<void(HANDLE)>& write)
{
    return Timed([&] {
        const CFileHandle file(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        write(file.Get());
    });
}

double SorvikCsvListing(const std::wstring& tree, const std::wstring& path, ScanCounts* counts = nullptr)
{
    ScanCommand command;
    command.folders = {tree.c_str()};
    command.list = ListFormat::Csv;
    return TimedIntoFile(path, [&](HANDLE file) {
        const ScanCounts done = ConsoleScan(command, file, nullptr);
        if (counts)
            *counts = done;
    });
}

double BareCsvListingInto(const std::wstring& tree, const std::wstring& path)
{
    return TimedIntoFile(path, [&](HANDLE file) {
        if (!BareCsvListing(tree, file))
            printf("  (the bare listing could not be written: error %lu)\n", ::GetLastError());
    });
}

// The same bytes on both sides, or the comparison means nothing.
bool SameCsvListing(const std::wstring& tree)
{
    const std::wstring ours = UniqueTempPath(L".csv");
    const std::wstring theirs = UniqueTempPath(L".csv");
    SorvikCsvListing(tree, ours);
    BareCsvListingInto(tree, theirs);
    const std::string listing = ReadAll(ours);
    const bool same = !listing.empty() && listing == ReadAll(theirs);
    ::DeleteFileW(ours.c_str());
    ::DeleteFileW(theirs.c_str());
    return same;
}

double SorvikListWalk(const CPluginModule& plugin, const std::wstring& tree)
{
    double seconds = 0;
    ExecuteWithDatabase(plugin, nullptr, [&](DialogDriver& d) {
        d.Click(IDC_SHOW_RESULTS);
        d.SetText(IDC_FOLDER, tree);
        // Looked at seldom: each look is a message the dialog thread handles
        // between the worker's.
        seconds = Timed([&] {
            d.Click(IDC_START);
            do
                ::Sleep(10);
            while (d.IsChecked(IDC_START));
        });
        d.PressKey(IDC_FOLDER, VK_ESCAPE);
    });
    return seconds;
}

void PrintMemoryRow(const char* what, long files, double seconds, SIZE_T before, SIZE_T peak)
{
    printf("| %s %9ld files | %6.1f s | %+7.2f MiB |\n", what, files, seconds,
           (static_cast<double>(peak) - static_cast<double>(before)) / (1024.0 * 1024.0));
    fflush(stdout);
}

void PrintMemory(const std::wstring& tree)
{
    BenchSite site;
    site.options.m_bShowResults = true;
    const SIZE_T before = BenchSite::Committed();
    const double seconds = SorvikWalk(tree, site);
    PrintMemoryRow("walk of", site.rows, seconds, before, site.peakCommitted);
}

// The highest committed memory while it lives, sampled every 50 ms on a
// thread of its own: the console's site cannot be wrapped as BenchSite is.
class CommittedPeak {
public:
    // Returns once the thread has taken its first sample: its own stack is
    // then committed, and not counted as the work's.
    CommittedPeak()
    {
        m_sampler = std::thread([this] {
            do {
                Sample();
                m_started = true;
            } while (::WaitForSingleObject(m_done.Get(), 50) == WAIT_TIMEOUT);
        });
        while (!m_started)
            ::Sleep(1);
    }
    ~CommittedPeak() { Stop(); }
    CommittedPeak(const CommittedPeak&) = delete;
    CommittedPeak& operator=(const CommittedPeak&) = delete;

    SIZE_T Stop()
    {
        if (m_sampler.joinable()) {
            ::SetEvent(m_done.Get());
            m_sampler.join();
            Sample();
        }
        return m_peak;
    }

private:
    void Sample() { m_peak = std::max<SIZE_T>(m_peak, BenchSite::Committed()); }

    CKernelHandle m_done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<SIZE_T> m_peak{0};
    std::atomic<bool> m_started{false};
    std::thread m_sampler;
};

void PrintCsvMemory(const std::wstring& tree)
{
    const std::wstring listing = UniqueTempPath(L".csv");
    CommittedPeak peak;
    const SIZE_T before = BenchSite::Committed();
    ScanCounts counts;
    const double seconds = SorvikCsvListing(tree, listing, &counts);
    const SIZE_T highest = peak.Stop();
    ::DeleteFileW(listing.c_str());
    PrintMemoryRow("SorvikScan CSV of", static_cast<long>(counts.files), seconds, before, highest);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 7) {
        fprintf(stderr, "usage: WalkBenchmark WALK_TREE SMALL_TREE OWNER_TREE LIST_TREE LARGE_TREE HASH_TREE\n");
        return 2;
    }
    const std::wstring walkTree = argv[1], smallTree = argv[2], ownerTree = argv[3], listTree = argv[4],
                       largeTree = argv[5], hashTree = argv[6];
    if (!SameHashes(hashTree))
        printf("warning: the bare hashes differ from Sorvik's\n");
    if (!SameStatements(ownerTree))
        printf("warning: the bare statements differ from Sorvik's\n");
    if (!SameCsvListing(walkTree))
        printf("warning: the bare CSV listing differs from SorvikScan's\n");

    printf("| figure | files | Sorvik: median (min-max) | bare loop: median (min-max) | bare/Sorvik |\n");
    printf("|---|---:|---:|---:|---:|\n");
    Compare("walk alone", CountFiles(walkTree), 11,
            [&] {
                BenchSite site;
                return SorvikWalk(walkTree, site);
            },
            [&] { return Timed([&] { BareEnumerate(walkTree, [](const std::wstring&, const WIN32_FIND_DATAW&) {}); }); });
    // A fleet's run: a second folder given inside the first (walked on its
    // own, not again), and exclusions that match nothing here, so that the
    // files are the bare loop's.
    Compare("walk, 2 folders, 3 exclusions", CountFiles(walkTree), 11,
            [&] {
                BenchSite site;
                std::wstring error;
                for (const wchar_t* text : {L"node_modules", L"$Recycle.Bin", L"backup\\old"})
                    AddExclusion(site.options.m_scope, text, error);
                CFolderWalk walk(site);
                return Timed([&] { walk.ScanFolders({walkTree.c_str(), (walkTree + L"\\d5").c_str()}, L"*.*", L""); });
            },
            [&] { return Timed([&] { BareEnumerate(walkTree, [](const std::wstring&, const WIN32_FIND_DATAW&) {}); }); });
    CompareFileWork("content hash (SHA-256)", hashTree, 9, &ScanOptions::m_bHashContent, [](const std::wstring& path) {
        unsigned char digest[32];
        BareSha256(path, digest);
    });
    CompareFileWork("owner lookup", ownerTree, 9, &ScanOptions::m_bShowOwner,
                    [](const std::wstring& path) { BareOwner(path); });
    const std::wstring database = UniqueTempPath(L".sqlite");
    const CString wal = SqliteConnectionString(database.c_str());
    CompareStatements("statement, SQLite default journal", ownerTree,
                      WithConnectionValue(wal, L"JournalMode", L"DELETE"), 5, EngineStatements);
    CompareStatements("statement, SQLite WAL", walkTree, wal, 7, EngineStatements);
    CompareStatements("SorvikScan, statements, SQLite WAL", walkTree, wal, 7, ConsoleStatements);
    for (const wchar_t* suffix : {L"", L"-wal", L"-shm", L"-journal"})
        ::DeleteFileW((database + suffix).c_str());

    const std::wstring listing = UniqueTempPath(L".csv");
    Compare("SorvikScan, CSV listing into a file", CountFiles(walkTree), 11,
            [&] { return SorvikCsvListing(walkTree, listing); }, [&] { return BareCsvListingInto(walkTree, listing); });
    ::DeleteFileW(listing.c_str());

    CPluginModule plugin;
    CString error;
    if (plugin.Load(PathBesideProgram(L"Sorvik.dll"), error))
        Compare("list rows, visible", CountFiles(listTree), 7, [&] { return SorvikListWalk(plugin, listTree); },
                [&] { return BareListWalk(listTree); });
    else
        printf("(no list figure: %ls)\n", error.GetString());

    printf("\n| memory | time | peak committed, beyond the start |\n|---|---:|---:|\n");
    PrintMemory(smallTree);
    PrintMemory(largeTree);
    PrintCsvMemory(smallTree);
    PrintCsvMemory(largeTree);
    return 0;
}
