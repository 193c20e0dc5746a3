#include "host/WinePath.h"
#include "scan/FolderIdentity.h"
#include "support/RecordingSite.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Depth-first listing in the order the file system returns entries, built
// independently of the walk (recursion and the plain find API).
void ListDepthFirst(const std::wstring& folder, std::vector<std::wstring>& out)
{
    WIN32_FIND_DATAW data;
    HANDLE h = ::FindFirstFileW((folder + L"\\*.*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListDepthFirst(folder + L"\\" + name, out);
        else
            out.push_back(folder + L"\\" + name);
    } while (::FindNextFileW(h, &data));
    ::FindClose(h);
}

void MakeSampleTree(const TempTree& tree)
{
    tree.AddFile(L"top1.txt");
    tree.AddFolder(L"sub");
    tree.AddFile(L"sub\\a.txt");
    tree.AddFile(L"sub\\b.log");
    tree.AddFolder(L"sub\\deeper");
    tree.AddFile(L"sub\\deeper\\c.txt");
    tree.AddFolder(L"empty");
    tree.AddFile(L"top2.dat");
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

TEST(FolderWalk, VisitsEveryFileDepthFirstInFinderOrder)
{
    TempTree tree;
    MakeSampleTree(tree);
    std::vector<std::wstring> expected;
    ListDepthFirst(tree.Root(), expected);
    ASSERT_EQ(5u, expected.size());

    RecordingSite site;
    EXPECT_TRUE(site.Walk(tree.Root()));
    EXPECT_EQ(expected, site.Paths());
    EXPECT_TRUE(site.unlisted.empty()) << "an empty folder still lists . and ..";

    // With a trailing backslash or a forward slash, relative to the current
    // directory (of the drive, or its root), through "..", in the "\\?\"
    // form: the same plain full paths.
    wchar_t current[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_TRUE(::SetCurrentDirectoryW(tree.Path(L"sub\\deeper").c_str()));
    for (const std::wstring& folder : {tree.Root() + L"\\", tree.Root() + L"/", std::wstring(L"..\\./.."),
                                       tree.Root().substr(0, 2) + L"..\\..", tree.Root().substr(2),
                                       L"\\\\?\\" + tree.Path(L"empty\\..")}) {
        RecordingSite other;
        EXPECT_TRUE(other.Walk(folder));
        EXPECT_EQ(expected, other.Paths()) << Narrow(folder);
    }
    ::SetCurrentDirectoryW(current);
}

TEST(FolderWalk, PatternAppliesToFoldersAtEveryLevel)
{
    TempTree tree;
    tree.AddFile(L"a.txt");
    tree.AddFile(L"b.md");
    tree.AddFolder(L"notes");
    tree.AddFile(L"notes\\hidden-from-walk.txt");
    tree.AddFolder(L"old.txt");
    tree.AddFile(L"old.txt\\inner.txt");
    tree.AddFolder(L"old.txt\\nested");
    tree.AddFile(L"old.txt\\nested\\skipped.txt");
    tree.AddFolder(L"nomatch.txt");
    tree.AddFile(L"nomatch.txt\\readme.md");
    tree.AddFolder(L"nomatch2.txt");

    RecordingSite site;
    EXPECT_TRUE(site.Walk(tree.Root(), L"*.txt"));
    EXPECT_EQ(Sorted({tree.Path(L"a.txt"), tree.Path(L"old.txt\\inner.txt")}), Sorted(site.Paths()));
    // Each entered folder without a match says so, once.
    ASSERT_EQ(2u, site.unlisted.size());
    for (const NotListed& folder : site.unlisted)
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), folder.error) << Narrow(folder.folder);
    EXPECT_EQ(Sorted({tree.Path(L"nomatch.txt"), tree.Path(L"nomatch2.txt")}),
              Sorted({site.unlisted[0].folder, site.unlisted[1].folder}));
}

TEST(FolderWalk, MissingFolderSaysFolderIsEmptyOnceAndEndsNormally)
{
    TempTree tree;
    RecordingSite site;
    EXPECT_TRUE(site.Walk(tree.Path(L"does-not-exist")));
    EXPECT_TRUE(site.rows.empty());
    ASSERT_EQ(1u, site.unlisted.size());
    EXPECT_EQ(tree.Path(L"does-not-exist"), site.unlisted[0].folder);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), site.unlisted[0].error);

    RecordingSite nothing;
    EXPECT_TRUE(nothing.Walk(tree.Root(), L"*.none"));
    EXPECT_EQ(1u, nothing.unlisted.size());
    EXPECT_TRUE(site.gone.empty() && nothing.gone.empty());

    // A sub-folder that its parent listed and that is removed before the
    // walk enters it, or made a file, is gone, as a deleted file is: no
    // folder unlisted. Not when the folder given went with it (a drive
    // unmapped): that says nothing of its files.
    enum class Then { Removed, MadeAFile, RootMoved };
    for (const Then then : {Then::Removed, Then::MadeAFile, Then::RootMoved}) {
        TempTree walked;
        for (const std::wstring name : {L"x", L"y"}) {
            walked.AddFolder(name);
            walked.AddFile(name + L"\\a.txt");
        }
        RecordingSite vanishing;
        std::wstring other;
        vanishing.afterRow = [&](RecordingSite& s) {
            if (!other.empty())
                return;
            other = walked.Path(s.rows[0].m_strFilePath.Str().find(L"\\x\\") != std::wstring::npos ? L"y" : L"x");
            ASSERT_TRUE(::DeleteFileW((other + L"\\a.txt").c_str()) && ::RemoveDirectoryW(other.c_str()));
            if (then == Then::MadeAFile)
                walked.AddFile(other.substr(walked.Root().size() + 1));
            // From the Unix side, as a drive goes: the walk's open search
            // would keep Windows from renaming it.
            if (then == Then::RootMoved) {
                ASSERT_TRUE(RunUnixCommand(L"/bin/mv " + QuoteArgument(UnixPathUnderWine(walked.Root().c_str()).Str()) + L" " +
                                               QuoteArgument(UnixPathUnderWine((walked.Root() + L"-moved").c_str()).Str()),
                                           walked.Root() + L"-moved", true));
            }
        };
        EXPECT_TRUE(vanishing.Walk(walked.Root()));
        EXPECT_EQ(1u, vanishing.rows.size());
        EXPECT_EQ(then == Then::RootMoved ? 1u : 0u, vanishing.unlisted.size());
        EXPECT_EQ(then == Then::RootMoved ? std::vector<std::wstring>{} : std::vector<std::wstring>{other}, vanishing.gone);
        if (then == Then::RootMoved)
            ::MoveFileW((walked.Root() + L"-moved").c_str(), walked.Root().c_str());
    }
}

TEST(FolderWalk, StopRequestEndsAfterTheEntryInProgressAtAnyDepth)
{
    TempTree tree;
    tree.AddFolder(L"a");
    tree.AddFolder(L"a\\b");
    tree.AddFolder(L"a\\b\\c");
    for (int i = 0; i < 5; ++i) {
        tree.AddFile(L"f" + std::to_wstring(i) + L".txt");
        tree.AddFile(L"a\\b\\c\\g" + std::to_wstring(i) + L".txt");
    }
    std::vector<std::wstring> all;
    ListDepthFirst(tree.Root(), all);

    for (size_t stopAfter : {size_t{1}, size_t{3}, size_t{7}}) {
        RecordingSite site;
        site.afterRow = [stopAfter](RecordingSite& s) {
            if (s.rows.size() == stopAfter)
                s.options.m_bStop = true;
        };
        EXPECT_TRUE(site.Walk(tree.Root())) << "a stopped walk still ends with true";
        EXPECT_EQ(std::vector<std::wstring>(all.begin(), all.begin() + static_cast<long>(stopAfter)), site.Paths());
    }
}

TEST(FolderWalk, OptionsAreReadPerFileAndOwnerOnlyWhenAsked)
{
    TempTree tree;
    for (int i = 0; i < 4; ++i)
        tree.AddFile(L"f" + std::to_wstring(i));

    RecordingSite site;
    site.afterRow = [](RecordingSite& s) {
        if (s.rows.size() == 2) {
            s.options.m_bShowOwner = true;
            s.options.m_bHashContent = true;
        }
    };
    site.Walk(tree.Root());
    ASSERT_EQ(4u, site.rows.size());
    EXPECT_TRUE(site.rows[0].m_strFileOwner.IsEmpty());
    EXPECT_TRUE(site.rows[1].m_strFileOwner.IsEmpty() && site.rows[1].m_strFileSha256.IsEmpty());
    EXPECT_FALSE(site.rows[2].m_strFileOwner.IsEmpty());
    EXPECT_EQ(64, site.rows[3].m_strFileSha256.GetLength());
    EXPECT_EQ(2, site.ownerLookups);

    // Clearing Show Results stops rows from the next file on; ticking adds again.
    RecordingSite toggling;
    int seen = 0;
    toggling.afterRow = [&seen](RecordingSite& s) {
        if (++seen == 1)
            s.options.m_bShowResults = false;
    };
    toggling.Walk(tree.Root());
    EXPECT_EQ(1u, toggling.rows.size());
    EXPECT_EQ(0, toggling.ownerLookups);
}

TEST(FolderWalk, FolderLinksThatLeadBackUpAreNotEnteredAgain)
{
    TempTree tree;
    tree.AddFile(L"a.txt");
    tree.AddFolder(L"sub");
    tree.AddFile(L"sub\\b.txt");
    tree.AddFolderLink(L"sub\\up1", tree.Root());
    tree.AddFolderLink(L"sub\\up2", tree.Root());
    tree.AddFolderLink(L"sub\\self", tree.Path(L"sub"));
    // A link that closes no cycle is entered like a folder.
    tree.AddFolder(L"other");
    tree.AddFile(L"other\\c.txt");
    tree.AddFolderLink(L"sub\\side", tree.Path(L"other"));

    RecordingSite site;
    EXPECT_TRUE(site.Walk(tree.Root()));
    EXPECT_EQ(Sorted({tree.Path(L"a.txt"), tree.Path(L"sub\\b.txt"), tree.Path(L"other\\c.txt"),
                      tree.Path(L"sub\\side\\c.txt")}),
              Sorted(site.Paths()));
    EXPECT_TRUE(site.unlisted.empty());

    // Identities that are not unique: two mounts whose roots look the same.
    // A link from one to the other is a real folder; one back to its own
    // mount is a cycle all the same.
    // A case twin of an ancestor is another folder, even where only the
    // final paths can tell.
    TempTree mounts;
    mounts.AddMount(L"m1");
    mounts.AddMount(L"m2");
    mounts.AddFile(L"m2\\d.txt");
    mounts.AddFolderLink(L"m1\\to2", mounts.Path(L"m2"));
    mounts.AddFolderLink(L"m1\\back", mounts.Path(L"m1"));
    mounts.AddMount(L"m3");
    mounts.AddFolder(L"m3\\A");
    mounts.AddFile(L"m3\\A\\x.txt");
    mounts.AddUnixFolder(L"m3\\a", L"y.dat");
    mounts.AddFolderLink(L"m3\\a\\link", mounts.Path(L"m3\\A"));
    RecordingSite across;
    EXPECT_TRUE(across.Walk(mounts.Root()));
    EXPECT_EQ(Sorted({mounts.Path(L"m1\\to2\\d.txt"), mounts.Path(L"m2\\d.txt"), mounts.Path(L"m3\\A\\x.txt"),
                      mounts.Path(L"m3\\a\\y.dat"), mounts.Path(L"m3\\a\\link\\x.txt")}),
              Sorted(across.Paths()));
    EXPECT_TRUE(across.unlisted.empty());

    // A link into a second mount of an ancestor: one folder, two final paths.
    TempTree bound;
    bound.AddFolder(L"R");
    bound.AddFile(L"R\\f.txt");
    bound.AddFolder(L"R\\sub");
    bound.AddMount(L"B", bound.Path(L"R"));
    bound.AddFolderLink(L"R\\sub\\link", bound.Path(L"B"));
    RecordingSite twice;
    EXPECT_TRUE(twice.Walk(bound.Path(L"R")));
    EXPECT_EQ(std::vector<std::wstring>{bound.Path(L"R\\f.txt")}, twice.Paths());

    // A mount of an ancestor inside the walked folder: Wine shows no link.
    bound.AddFolder(L"R\\w");
    bound.AddMount(L"R\\w\\m", bound.Path(L"R"));
    RecordingSite inside;
    EXPECT_TRUE(inside.Walk(bound.Path(L"R\\w")));
    EXPECT_EQ(std::vector<std::wstring>{bound.Path(L"R\\w\\m\\f.txt")}, inside.Paths());
}

TEST(FolderWalk, IdentitiesThatProveNothingNeedTheSameFinalPath)
{
    // Wine's identity of every tmpfs root: serial 0, index 1.
    FolderIdentity a;
    a.indexLow = 1;
    FolderIdentity b = a;
    EXPECT_FALSE(IsSameFolder(a, b)) << "no final path: nothing proves them one";
    a.finalPath = L"\\\\?\\Z:\\m";
    b.finalPath = L"\\\\?\\Z:\\M";
    EXPECT_FALSE(IsSameFolder(a, b)) << "case twins";
    b.finalPath = a.finalPath;
    EXPECT_TRUE(IsSameFolder(a, b));
}

TEST(FolderWalk, DeepTreesAsFarAsTheFinderGoes)
{
    TempTree tree;
    std::wstring relative = L"d";
    const int depth = 300;  // far beyond MAX_PATH; the walk keeps its levels off the stack
    tree.AddFolder(relative);
    for (int i = 1; i < depth; ++i) {
        relative += L"\\d";
        tree.AddFolder(relative);
    }
    tree.AddFile(relative + L"\\bottom.txt");
    tree.AddFile(L"top.txt");

    RecordingSite site;
    EXPECT_TRUE(site.Walk(tree.Root()));
    EXPECT_EQ(Sorted({tree.Path(relative + L"\\bottom.txt"), tree.Path(L"top.txt")}), Sorted(site.Paths()));
}

TEST(FolderWalk, PatternsScopesAndFoldersThatLeadBackIntoTheWalkProcessEachFileOnce)
{
    TempTree tree;
    tree.AddFile(L"f.txt");
    tree.AddFolder(L"a");
    tree.AddFile(L"a\\g.txt");
    tree.AddFolder(L"a\\b");
    tree.AddFile(L"a\\b\\h.txt");
    tree.AddFile(L"a\\b\\q7x.txt");
    for (const wchar_t* folder : {L"a\\b\\q7", L"a\\b\\q7\\q7a", L"a\\b\\q7\\q7a\\q7c", L"a\\b\\q7\\q7b"})
        tree.AddFolder(folder);
    tree.AddFile(L"a\\b\\q7\\q7f.txt");

    // Folders whose names differ only in case, or not at all.
    TempTree other;
    other.AddFolder(L"twins");
    other.AddFolder(L"twins\\A");
    other.AddFile(L"twins\\A\\upper.txt");
    other.AddUnixFolder(L"twins\\a", L"lower.txt");
    for (const wchar_t* folder : {L"same", L"same\\a", L"same\\a\\q", L"same\\a\\q\\a"})
        other.AddFolder(folder);
    other.AddFile(L"same\\a\\f.txt");
    other.AddFile(L"same\\a\\q\\a\\g.txt");
    // Names that Win32 takes for others, and a path beyond MAX_PATH.
    other.AddFolder(L"names");
    other.AddUnixFolder(L"names\\dir", L"in-dir");
    other.AddUnixFolder(L"names\\dir.", L"in-dot");
    other.AddUnixFolder(L"names\\dir ", L"in-space");
    const std::wstring longest = L"names\\" + std::wstring(150, L'x') + L"\\" + std::wstring(120, L'y') + L".";
    other.AddFolder(longest.substr(0, longest.rfind(L'\\')));
    other.AddUnixFolder(longest, L"far");
    // Names that no path reaches exactly: one that would lead out of the
    // tree, and two that are no UTF-8, both U+FFFD here. Not entered.
    other.AddFolder(L"unreachable");
    ASSERT_TRUE(RunUnixScript("cd " + Narrow(ShellQuote(UnixPathUnderWine(other.Path(L"unreachable").c_str()).Str())) +
                                  " && mkdir '..\\..\\names' $'bad\\xff' $'bad\\xfe' && touch '..\\..\\names/in' "
                                  "$'bad\\xff/in' $'bad\\xfe/in' && touch made\n",
                              other.Path(L"unreachable\\made")));
    // What a fleet leaves out, and folders to give several of.
    TempTree fleet;
    for (const wchar_t* folder : {L"node_modules", L"backup", L"backup\\old", L"backup\\new", L"deep",
                                  L"deep\\deeper", L"deep\\node_modules", L"b"})
        fleet.AddFolder(folder);
    for (const wchar_t* file : {L"k.txt", L"t.TMP", L"noext", L"node_modules\\m.js", L"backup\\old\\o.txt",
                                L"backup\\new\\n.txt", L"deep\\e.docx", L"deep\\deeper\\d.docx",
                                L"deep\\node_modules\\y.js", L"b\\b.tx"})
        fleet.AddFile(file);
    fleet.AddFolderLink(L"deep\\toB", fleet.Path(L"b"));

    const struct {
        const TempTree& in;
        const wchar_t* start;
        const wchar_t* pattern;
        std::vector<std::wstring> files;
        size_t unlisted;
        std::vector<std::wstring> exclude = {};
        std::vector<std::wstring> include = {};
        unsigned maxDepth = 0;
        std::vector<std::wstring> moreFolders = {};
    } cases[] = {
        // The search returns the folder itself, by its own name.
        {tree, L"", L".", {}, 0},
        {tree, L"a", L".", {}, 0},
        // The parent's entries: the folder being walked is among them.
        {tree, L"a", L"..\\*", {L"f.txt"}, 0},
        {tree, L"a\\b", L"..\\*", {L"a\\g.txt"}, 0},
        {tree, L"a\\b", L"..\\*.txt", {L"a\\g.txt"}, 0},
        // A folder part that goes down and back up lists each folder once.
        {tree, L"", L"a\\..\\*", {L"f.txt", L"a\\g.txt", L"a\\b\\h.txt", L"a\\b\\q7x.txt", L"a\\b\\q7\\q7f.txt"}, 0},
        // Sibling folders list the same grandparent: once a walk.
        {tree, L"a\\b\\q7\\q7a\\q7c", L"..\\..\\q7*", {L"a\\b\\q7\\q7f.txt", L"a\\b\\q7x.txt"}, 1},
        // One that names a missing folder below each entered one.
        {tree, L"a", L"..\\a\\*", {L"a\\g.txt"}, 1},
        // Case twins, and two folders of one name at different depths.
        {other, L"twins", L".\\*", {L"twins\\A\\upper.txt", L"twins\\a\\lower.txt"}, 0},
        {other, L"same", L"a\\*", {L"same\\a\\f.txt", L"same\\a\\q\\a\\g.txt"}, 0},
        // "dir." and "dir " beside "dir", each with its own files, a path
        // beyond MAX_PATH, and a "dir." on its own.
        {other, L"names", L"*.*",
         {L"names\\dir\\in-dir", L"names\\dir.\\in-dot", L"names\\dir \\in-space", longest + L"\\far"}, 0},
        {other, L"names\\dir.", L"*", {L"names\\dir.\\in-dot"}, 0},
        {other, L"unreachable", L"*.*", {L"unreachable\\made"}, 3},
        // Names at any depth, case ignored; a path only below the folder given.
        {fleet, L"", L"*.*", {L"k.txt", L"noext", L"backup\\new\\n.txt", L"deep\\e.docx", L"deep\\deeper\\d.docx", L"b\\b.tx",
         L"deep\\toB\\b.tx"}, 0, {L"NODE_MODULES", L"backup/old", L"*.tmp", L"\\e.docx"}},
        // The finder's old forms: "*." takes names without a dot (folders
        // too), "a.*" takes "a", a last "?" may match nothing.
        {fleet, L"", L"*.*", {L"k.txt", L"t.TMP"}, 0, {L"*."}},
        {fleet, L"", L"*.*", {L"t.TMP", L"deep\\e.docx", L"node_modules\\m.js"}, 0,
         {L"noext.*", L"*.tx?", L"*\\n*", L"*\\*\\*.docx"}},
        // A star before a dot stops at the last dot: an extension of at most two, or none.
        {fleet, L"", L"*.*", {L"noext", L"node_modules\\m.js", L"deep\\node_modules\\y.js", L"b\\b.tx", L"deep\\toB\\b.tx"},
         0, {}, {L"*.??"}},
        // Every folder entered, only matching files taken; or as deep as asked.
        {fleet, L"", L"*.*", {L"k.txt", L"deep\\e.docx", L"deep\\deeper\\d.docx"}, 0, {}, {L"*.docx", L"K.TXT"}},
        {fleet, L"", L"*.*", {L"k.txt", L"t.TMP", L"noext"}, 0, {}, {}, 1},
        {fleet, L"", L"*.*", {L"deep\\e.docx"}, 0, {}, {L"*.docx"}, 2},
        // Folders given twice (in other words, or through a link), or inside
        // another, or reached through a link from another: once each.
        {fleet, L"deep", L"*.*", {L"deep\\e.docx", L"deep\\node_modules\\y.js", L"b\\b.tx", L"deep\\deeper\\d.docx"}, 0,
         {}, {}, 0, {L"b", L"deep\\deeper", L"deep\\.", L"b\\..\\b", L"deep\\toB"}},
        {fleet, L"", L"*.*", {L"deep\\e.docx", L"deep\\deeper\\d.docx"}, 0, {}, {L"*.docx"}, 1, {L"deep", L"deep\\deeper"}},
    };
    for (const auto& c : cases) {
        const std::wstring start = *c.start ? c.in.Path(c.start) : c.in.Root();
        RecordingSite site;
        std::wstring error;
        for (const std::wstring& text : c.exclude)
            EXPECT_TRUE(AddExclusion(site.options.m_scope, text, error)) << Narrow(error);
        for (const std::wstring& text : c.include)
            EXPECT_TRUE(AddFilePattern(site.options.m_scope, text, error)) << Narrow(error);
        site.options.m_scope.maxDepth = c.maxDepth;
        std::vector<CString> folders = {start.c_str()};
        for (const std::wstring& folder : c.moreFolders)
            folders.emplace_back(c.in.Path(folder).c_str());
        EXPECT_TRUE(CFolderWalk(site).ScanFolders(folders, c.pattern, L""));
        std::vector<std::wstring> expected;
        for (const std::wstring& file : c.files)
            expected.push_back(c.in.Path(file));
        EXPECT_EQ(Sorted(expected), Sorted(site.Paths())) << Narrow(c.start) << " " << Narrow(c.pattern);
        EXPECT_EQ(c.unlisted, site.unlisted.size()) << Narrow(c.start) << " " << Narrow(c.pattern);
    }
}
