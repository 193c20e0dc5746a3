// Prints what a walk costs: files per second for the bare walk, with owners,
// and with one SQLite statement per file, and the memory the walk holds for
// trees of growing size. Usage: WalkBenchmark [FILES]
#include "scan/FolderWalk.h"
#include "support/OdbcQuery.h"
#include "support/TempTree.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>

namespace {

// A site that lists nothing: the walk's own cost, and the peak memory seen.
class CountingSite final : public IScanSite {
public:
    ScanOptions options;
    CDatabase* database = nullptr;
    long files = 0;
    SIZE_T peakPrivate = 0;

    ScanOptions& GetScanOptions() override { return options; }
    CDatabase* GetScanDatabase() override { return database; }
    CString GetFileOwner(const CString& path) override;
    void AddResultRow(const CString&, const FileFacts&) override
    {
        if (++files % 1000 == 0) {
            // Committed memory: Wine reports it as the pagefile usage.
            PROCESS_MEMORY_COUNTERS counters = {};
            ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
            if (counters.PagefileUsage > peakPrivate)
                peakPrivate = counters.PagefileUsage;
        }
    }
    int ShowMessageBox(LPCWSTR, UINT) override { return IDYES; }
};

}  // namespace

#include "scan/FileOwner.h"

CString CountingSite::GetFileOwner(const CString& path)
{
    return LookupFileOwner(path);
}

namespace {

void MakeTree(const TempTree& tree, int files, int perFolder)
{
    for (int i = 0; i < files; ++i) {
        if (i % perFolder == 0)
            tree.AddFolder(L"d" + std::to_wstring(i / perFolder));
        tree.AddFile(L"d" + std::to_wstring(i / perFolder) + L"\\f" + std::to_wstring(i) + L".dat");
    }
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Measure(const char* what, const TempTree& tree, CountingSite& site, const wchar_t* sqlTemplate = L"")
{
    LARGE_INTEGER start, end;
    ::QueryPerformanceCounter(&start);
    CFolderWalk(site).ScanFolder(tree.Root().c_str(), L"*.*", sqlTemplate);
    ::QueryPerformanceCounter(&end);
    const double seconds = Seconds(start, end);
    printf("%-34s %7ld files  %8.3f s  %9.0f files/s  peak committed %6.1f MiB\n", what, site.files, seconds,
           static_cast<double>(site.files) / seconds, static_cast<double>(site.peakPrivate) / (1024.0 * 1024.0));
}

}  // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? atoi(argv[1]) : 20000;
    printf("Sorvik walk benchmark (%d files, 100 per folder)\n", files);

    for (int size : {files / 4, files}) {
        TempTree tree;
        MakeTree(tree, size, 100);
        CountingSite bare;
        bare.options.m_bShowResults = true;
        Measure(size == files ? "walk" : "walk, quarter tree", tree, bare);
    }

    TempTree tree;
    MakeTree(tree, files / 10, 100);
    CountingSite owners;
    owners.options.m_bShowResults = true;
    owners.options.m_bShowOwner = true;
    Measure("walk + owner", tree, owners);

    TestDatabase sqlite;
    CountingSite writer;
    writer.options.m_bShowResults = true;
    writer.options.m_bWriteToDatabase = true;
    writer.database = &sqlite.db;
    Measure("walk + SQLite INSERT (WAL)", tree, writer,
            L"INSERT INTO files (title, path, attributes, length) VALUES ('{FileTitle}', '{FilePath}', "
            L"'{AllAttributes}', {FileLength})");
    return 0;
}
