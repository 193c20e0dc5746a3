#include "framework/FileFind.h"
#include "scan/FileFacts.h"
#include "scan/FileHash.h"
#include "scan/FileTimeText.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace {

// A finder entry with chosen attribute bits and times, for the attributes
// Wine cannot set on a real file.
struct FakeEntry {
    DWORD attributes = 0;
    bool hasTimes = false;
    BOOL MatchesMask(DWORD mask) const { return (attributes & mask) != 0; }
    BOOL GetCreationTime(int64_t& t) const { return hasTimes && (t = 100, true); }
    BOOL GetLastAccessTime(int64_t& t) const { return hasTimes && (t = 200, true); }
    BOOL GetLastWriteTime(int64_t& t) const { return hasTimes && (t = 300, true); }
    BOOL GetCreationTime(FILETIME* t) const { return hasTimes && (*t = {1, 1}, true); }
    BOOL GetLastAccessTime(FILETIME* t) const { return hasTimes && (*t = {2, 2}, true); }
    BOOL GetLastWriteTime(FILETIME* t) const { return hasTimes && (*t = {3, 3}, true); }
    ULONGLONG GetLength() const { return 42; }
    void GetFilePath(CString& s) const { s = L"C:\\f\\a.b.txt"; }
    void GetFileTitle(CString& s) const { s = L"a.b"; }
    void GetFileURL(CString& s) const { s = L"file://C:\\f\\a.b.txt"; }
};

template <class Finder>
FileFacts Gathered(const Finder& finder)
{
    FileFacts facts;
    GatherFileFacts(finder, facts);
    return facts;
}

CString Letters(DWORD attributes)
{
    return Gathered(FakeEntry{attributes}).m_strAllAttributes;
}

// Finds the single entry named name in folder and gathers its facts.
FileFacts FactsOf(const std::wstring& folder, const std::wstring& name)
{
    CFileFind finder;
    EXPECT_TRUE(finder.FindFile((folder + L"\\" + name).c_str()));
    finder.FindNextFile();
    return Gathered(finder);
}

}  // namespace

TEST(FileFacts, AttributeLettersFollowTheirBitsInFixedOrder)
{
    EXPECT_EQ(CString(L"achnrst"), Letters(0));
    EXPECT_EQ(CString(L"ACHNRST"), Letters(0x20 | 0x800 | 0x2 | 0x80 | 0x1 | 0x4 | 0x100));
    EXPECT_EQ(CString(L"achNrst"), Letters(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(CString(L"aChnrst"), Letters(FILE_ATTRIBUTE_COMPRESSED));
    // Encrypted, sparse, offline and directory bits are not rendered.
    EXPECT_EQ(CString(L"achnrst"), Letters(FILE_ATTRIBUTE_ENCRYPTED | FILE_ATTRIBUTE_SPARSE_FILE |
                                           FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_DIRECTORY));

    const FileFacts f = Gathered(FakeEntry{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(CString(L"AcHnRst"), f.m_strAllAttributes);
    EXPECT_EQ(L'A', f.m_chArchived);
    EXPECT_EQ(L'H', f.m_chHidden);
    EXPECT_EQ(L'R', f.m_chReadOnly);
    EXPECT_EQ(L'c', f.m_chCompressed);
    EXPECT_EQ(L't', f.m_chTemporary);
}

TEST(FileFacts, TimesTheFinderLacksStayZeroAndTextsPassUnchanged)
{
    // One record refilled, as the walk does: nothing of the entry before stays.
    FileFacts none;
    GatherFileFacts(FakeEntry{0, true}, none);
    none.m_strFileOwner = L"someone/HOST";
    GatherFileFacts(FakeEntry{}, none);
    EXPECT_EQ(0, none.m_timeCreate);
    EXPECT_EQ(0, none.m_timeAccess);
    EXPECT_EQ(0, none.m_timeWrite);
    for (const FILETIME& t : {none.m_timeCreateUtc, none.m_timeAccessUtc, none.m_timeWriteUtc})
        EXPECT_EQ(0u, t.dwLowDateTime | t.dwHighDateTime);
    EXPECT_EQ(CString(), none.m_strFileOwner);
    const FileFacts some = Gathered(FakeEntry{0, true});
    EXPECT_EQ(100, some.m_timeCreate);
    EXPECT_EQ(200, some.m_timeAccess);
    EXPECT_EQ(300, some.m_timeWrite);
    EXPECT_EQ(1u, some.m_timeCreateUtc.dwHighDateTime);
    EXPECT_EQ(2u, some.m_timeAccessUtc.dwLowDateTime);
    EXPECT_EQ(3u, some.m_timeWriteUtc.dwHighDateTime);
    EXPECT_EQ(CString(L"C:\\f\\a.b.txt"), some.m_strFilePath);
    EXPECT_EQ(CString(L"a.b"), some.m_strFileTitle);
    EXPECT_EQ(CString(L"file://C:\\f\\a.b.txt"), some.m_strFileUrl);
    EXPECT_EQ(CString(L"42"), some.m_strFileLength);
    EXPECT_TRUE(some.m_strFileOwner.IsEmpty());
}

TEST(FileFacts, FileTimeConversion)
{
    int64_t t = 7;
    EXPECT_FALSE(FileTimeToUnixSeconds(FILETIME{0, 0}, t));
    EXPECT_EQ(7, t);
    // 1970-01-01 00:00:00 is 116444736000000000 ticks after 1601.
    const ULONGLONG epoch = 116444736000000000ULL + 15 * 10000000ULL + 9999999ULL;
    EXPECT_TRUE(FileTimeToUnixSeconds(FILETIME{static_cast<DWORD>(epoch), static_cast<DWORD>(epoch >> 32)}, t));
    EXPECT_EQ(15, t);
    const ULONGLONG before = 116444736000000000ULL - 10000000ULL;
    EXPECT_TRUE(FileTimeToUnixSeconds(FILETIME{static_cast<DWORD>(before), static_cast<DWORD>(before >> 32)}, t));
    EXPECT_EQ(-1, t);
    // Before 1601 the top bit is set: a time before 1970 still, never 1970 itself.
    EXPECT_TRUE(FileTimeToUnixSeconds(FILETIME{0xFFFFFFFF, 0xFFFFFFFF}, t));
    EXPECT_EQ(-11644473601LL, t);
    EXPECT_EQ(CString(), FormatFileTime(t));
}

TEST(FileFacts, RealFilesSizesAndNames)
{
    TempTree tree;
    tree.AddFile(L"empty.txt");
    tree.AddFile(L"three.dat", "abc");
    tree.AddSizedFile(L"four.bin", 4294967296ULL);
    tree.AddSizedFile(L"five.bin", 5368709120ULL);
    tree.AddFile(L"a.b.c");
    tree.AddFile(L"noext");

    EXPECT_EQ(CString(L"0"), FactsOf(tree.Root(), L"empty.txt").m_strFileLength);
    EXPECT_EQ(CString(L"3"), FactsOf(tree.Root(), L"three.dat").m_strFileLength);
    EXPECT_EQ(CString(L"4294967296"), FactsOf(tree.Root(), L"four.bin").m_strFileLength);
    EXPECT_EQ(CString(L"5368709120"), FactsOf(tree.Root(), L"five.bin").m_strFileLength);

    const FileFacts abc = FactsOf(tree.Root(), L"a.b.c");
    EXPECT_EQ(CString(tree.Path(L"a.b.c").c_str()), abc.m_strFilePath);
    EXPECT_EQ(CString(L"a.b"), abc.m_strFileTitle);
    EXPECT_EQ(CString((L"file://" + tree.Path(L"a.b.c")).c_str()), abc.m_strFileUrl);
    EXPECT_EQ(CString(L"noext"), FactsOf(tree.Root(), L"noext").m_strFileTitle);
    EXPECT_TRUE(abc.m_strFileOwner.IsEmpty());

    // Content hashes, across a block's end too, and of the length listed
    // only (a file that grows while it is read); a file held by an opener
    // that does not share reading has none, and says why; a stop ends one.
    tree.AddFile(L"long.dat", std::string(CContentHasher::kBlockSize + 1, 'a'));
    CContentHasher hasher;
    CString hex = L"stale";
    DWORD error = 0;
    CRelaxedFlag go;
    CRelaxedFlag stop;
    stop = true;
    using Outcome = CContentHasher::Outcome;
    const struct {
        const wchar_t* name;
        unsigned long long length;
        const CRelaxedFlag& stop;
        Outcome outcome;
        const wchar_t* sha256;  // empty: none
        DWORD error;
    } hashes[] = {
        {L"three.dat", 3, go, Outcome::Hashed, L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", 0},
        {L"empty.txt", 0, go, Outcome::Hashed, L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", 0},
        {L"long.dat", CContentHasher::kBlockSize + 1, go, Outcome::Hashed,
         L"4a3f0c0c213adea174f9a3d4c13177315b588bdb2e9c1012d3d0bf0453ca0f6a", 0},
        {L"long.dat", 3, go, Outcome::Hashed, L"9834876dcfb05cb167a5c24953eba58c4ac89b1adf57f28f2f9d09af107ee8f0", 0},
        {L"long.dat", CContentHasher::kBlockSize + 1, stop, Outcome::Stopped, L"", 0},
        // Shorter than it was listed: cut while read, its hash is of no content.
        {L"three.dat", 10, go, Outcome::Failed, L"", ERROR_HANDLE_EOF},
        {L"missing", 0, go, Outcome::Failed, L"", ERROR_FILE_NOT_FOUND},
        {L"a.b.c", 0, go, Outcome::Failed, L"", ERROR_SHARING_VIOLATION},
    };
    const CFileHandle writer(::CreateFileW(tree.Path(L"a.b.c").c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    for (const auto& h : hashes) {
        EXPECT_TRUE(h.outcome == hasher.Hash(tree.Path(h.name).c_str(), h.length, h.stop, hex, error)) << Narrow(h.name);
        EXPECT_EQ(CString(h.sha256), hex) << Narrow(h.name);
        EXPECT_TRUE(h.outcome != Outcome::Failed || error == h.error) << Narrow(h.name) << " " << error;
    }
}

TEST(FileFacts, RealAttributesAndTimes)
{
    TempTree tree;
    const std::wstring hidden = tree.AddFile(L"h.txt");
    const std::wstring readOnly = tree.AddFile(L"r.txt");
    const std::wstring system = tree.AddFile(L"s.txt");
    tree.AddFile(L".dotted");
    ASSERT_TRUE(::SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(::SetFileAttributesW(system.c_str(), FILE_ATTRIBUTE_SYSTEM));

    // Wine reports the archive bit on every file.
    EXPECT_EQ(CString(L"AcHnrst"), FactsOf(tree.Root(), L"h.txt").m_strAllAttributes);
    EXPECT_EQ(CString(L"AchnRst"), FactsOf(tree.Root(), L"r.txt").m_strAllAttributes);
    EXPECT_EQ(CString(L"AchnrSt"), FactsOf(tree.Root(), L"s.txt").m_strAllAttributes);
    EXPECT_EQ(L'H', FactsOf(tree.Root(), L".dotted").m_chHidden);

    // Times: the finder's times match the file's own, to the second.
    tree.AddFile(L"t.txt");
    tree.SetTimes(L"t.txt", 1173967509, 1796565909);
    const FileFacts t = FactsOf(tree.Root(), L"t.txt");
    EXPECT_EQ(1796565909, t.m_timeWrite);
    EXPECT_EQ(1173967509, t.m_timeAccess);
    EXPECT_EQ(1796565909, t.m_timeCreate);  // Wine shows the last-write time here

    // Before 1970 the seconds are negative, not lost.
    tree.AddFile(L"old.txt");
    tree.SetTimes(L"old.txt", -86400, -1);
    EXPECT_EQ(-1, FactsOf(tree.Root(), L"old.txt").m_timeWrite);
    EXPECT_EQ(-86400, FactsOf(tree.Root(), L"old.txt").m_timeAccess);
    // The finder's FILETIME is kept to the tick: 1969-12-31T23:59:59.5000001.
    const FILETIME tick = {0xd4f234c1, 0x19db1de};
    ASSERT_TRUE(::SetFileTime(CFileHandle(::CreateFileW(tree.Path(L"old.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0,
                                                        nullptr, OPEN_EXISTING, 0, nullptr)).Get(),
                              nullptr, nullptr, &tick));
    EXPECT_EQ(tick.dwLowDateTime, FactsOf(tree.Root(), L"old.txt").m_timeWriteUtc.dwLowDateTime);
}

TEST(FileFind, RootIsTheAbsoluteFolderWhateverTheSeparators)
{
    TempTree tree;
    tree.AddFolder(L"sub");
    tree.AddFile(L"sub\\x.txt");
    for (const std::wstring& spec : {tree.Path(L"sub\\*.txt"), tree.Path(L"sub/\\*.txt"), tree.Path(L"sub\\.\\*.txt")}) {
        CFileFind finder;
        ASSERT_TRUE(finder.FindFile(spec.c_str()));
        EXPECT_FALSE(finder.FindNextFile());  // the only entry, made current
        EXPECT_EQ(CString(tree.Path(L"sub\\x.txt").c_str()), finder.GetFilePath());
    }
    CFileFind missing;
    EXPECT_FALSE(missing.FindFile(tree.Path(L"nothing\\*.*").c_str()));
    EXPECT_FALSE(missing.FindNextFile());
}
