#include "scan/FolderWalk.h"

#include "framework/FileFind.h"
#include "framework/FullPath.h"
#include "scan/FolderIdentity.h"
#include "scan/SqlTemplate.h"

#include <cwchar>
#include <numeric>

struct CFolderWalk::Level : KnownFolder {
    // The folder entered: the one listed, unless the pattern has a folder
    // part. Of it, for the cycle check: the index of every level, the
    // identity only of one whose index a sub-folder shares.
    CFileFind finder;
    BOOL more = TRUE;  // entries remain after the current one
    // The exclusions by path whose names so far match the folders entered
    // down to this one, by their place in the scope.
    std::vector<unsigned> paths;
};

namespace {

// A pattern that names a folder of its own (".", "..", "..\*", "a\*.txt",
// "C:*") makes each search list that folder, relative to the one searched,
// instead of the searched folder itself.
bool HasFolderPart(LPCWSTR pattern)
{
    return wcspbrk(pattern, L"\\/:") != nullptr || wcscmp(pattern, L".") == 0 || wcscmp(pattern, L"..") == 0;
}

// A name that no path can reach exactly: a backslash in a name (a Linux
// one) reads as a separator, "..\..\x" leading out of the tree; U+FFFD
// stands for bytes that were no UTF-8, which another name may share.
// Entered by its path, such a folder would be another one.
bool IsAddressable(LPCWSTR name)
{
    return wcschr(name, L'\\') == nullptr && wcschr(name, L'\uFFFD') == nullptr;
}

// The search of a sub-folder failed because the folder is no longer there
// (or is a file now), rather than because it cannot be listed (its name,
// its rights). Only while the folder given that holds it is still there: a
// drive or share that goes away takes every folder with it, and that is no
// sign that their files were deleted.
bool IsGone(const CString& folder, DWORD searchError, const CString& root)
{
    if (searchError != ERROR_PATH_NOT_FOUND && searchError != ERROR_FILE_NOT_FOUND &&
        searchError != ERROR_INVALID_NAME && searchError != ERROR_DIRECTORY)
        return false;
    const PathKind kind = GetPathKind(folder);
    return (kind == PathKind::Missing || kind == PathKind::Other) && GetPathKind(root) == PathKind::Folder;
}

bool AnyMatches(const std::vector<CNamePattern>& patterns, LPCWSTR name, size_t length)
{
    for (const CNamePattern& pattern : patterns) {
        if (pattern.Matches(name, length))
            return true;
    }
    return false;
}

// True when known and the folder at path, whose facts are asked into index
// and identity as needed, are one folder. The index rules out almost every
// folder at the price of an open; the identity, dearer (Wine asks its mount
// manager for the volume serial), is asked only on the same index.
template <class Known>
bool IsSameAs(Known& known, const CString& path, FolderFact<ULONGLONG>& index, FolderFact<FolderIdentity>& identity)
{
    return index.Ask(path, GetFolderIndex) && known.index.Ask(known.folder, GetFolderIndex) &&
           known.index.value == index.value && identity.Ask(path, GetFolderIdentity) &&
           known.identity.Ask(known.folder, GetFolderIdentity) && IsSameFolder(known.identity.value, identity.value);
}

}  // namespace

CFolderWalk::CFolderWalk(IScanSite& site) : m_site(site) {}

CFolderWalk::~CFolderWalk() = default;

bool CFolderWalk::ScanFolder(const CString& folder, LPCWSTR pattern, LPCWSTR sqlTemplate)
{
    return ScanFolders({folder}, pattern, sqlTemplate);
}

bool CFolderWalk::ScanFolders(const std::vector<CString>& folders, LPCWSTR pattern, LPCWSTR sqlTemplate)
{
    m_listed.clear();
    m_rememberListings = HasFolderPart(pattern);
    m_template = CSqlTemplate(sqlTemplate);
    m_roots.clear();
    for (const CString& folder : folders) {
        KnownFolder root;
        root.folder = folder;
        // One folder alone is asked nothing: it is walked as it always was.
        bool again = false;
        for (KnownFolder& other : m_roots) {
            again = again || CFullPath(other.folder).GetPath() == CFullPath(folder).GetPath() ||
                    IsSameAs(other, folder, root.index, root.identity);
        }
        if (!again)
            m_roots.push_back(std::move(root));
    }
    for (m_root = 0; m_root < m_roots.size(); ++m_root) {
        if (!WalkRoot(m_roots[m_root].folder, pattern))
            return false;
        if (m_site.GetScanOptions().m_bStop)
            break;
    }
    return true;
}

bool CFolderWalk::WalkRoot(const CString& folder, LPCWSTR pattern)
{
    ScanOptions& options = m_site.GetScanOptions();
    const ScanScope& scope = options.m_scope;
    std::vector<unsigned> paths(scope.excludedPaths.size());
    std::iota(paths.begin(), paths.end(), 0u);
    m_levels.clear();
    if (!OpenLevel(folder, pattern, {}, std::move(paths)))
        return true;

    while (!m_levels.empty()) {
        Level& level = *m_levels.back();
        if (!level.more) {
            m_levels.pop_back();  // closes the level's search
            // The parent's stop check for the sub-folder just finished.
            if (!m_levels.empty() && options.m_bStop)
                m_levels.back()->more = FALSE;
            continue;
        }

        level.more = level.finder.FindNextFile();
        // The entry just made current is processed even when none follow it.
        const LPCWSTR name = level.finder.GetFileName();
        const size_t length = wcslen(name);
        if (!level.finder.IsDots() && !IsLeftOut(level, name, length)) {
            if (level.finder.MatchesMask(FILE_ATTRIBUTE_DIRECTORY)) {
                if (scope.maxDepth == 0 || m_levels.size() < scope.maxDepth) {
                    const CString subFolder = level.finder.GetFilePath();
                    FolderFact<ULONGLONG> index;
                    FolderFact<FolderIdentity> identity;
                    if (!IsAddressable(name))
                        m_site.ReportFolderNotListed(subFolder, ERROR_INVALID_NAME);
                    else if (!ClosesCycle(subFolder, index, identity) && !IsGivenElsewhere(subFolder, index, identity) &&
                             OpenLevel(subFolder, pattern, index, PathsBelow(level, name, length)))
                        continue;  // the stop check follows when the sub-folder is done
                }
            } else if ((scope.filePatterns.empty() || AnyMatches(scope.filePatterns, name, length)) &&
                       !ProcessFile(level.finder)) {
                m_levels.clear();
                return false;
            }
        }
        if (options.m_bStop)
            level.more = FALSE;
    }
    return true;
}

bool CFolderWalk::OpenLevel(const CString& folder, LPCWSTR pattern, const FolderFact<ULONGLONG>& index,
                            std::vector<unsigned> paths)
{
    CString spec = folder;
    if (spec.IsEmpty() || spec.GetAt(spec.GetLength() - 1) != L'\\')
        spec += L'\\';
    spec += pattern;

    auto level = std::make_unique<Level>();
    if (!level->finder.FindFile(spec)) {
        const DWORD error = ::GetLastError();
        // Only a sub-folder can be gone: a folder given that is not there
        // (a drive missing) is never taken for one whose files were deleted.
        if (!m_levels.empty() && IsGone(folder, error, m_levels.front()->folder))
            m_site.ReportFolderGone(folder);
        else
            m_site.ReportFolderNotListed(folder, error);
        return false;
    }
    // A pattern with a folder part ("." or "..\*") can make a sub-folder's
    // search list a folder that this walk has listed already: a level above
    // (which would repeat without end) or a sibling's (with "..\..\*" every
    // sub-folder lists its grandparent). Each folder is listed once a walk.
    // The root is the search's full folder, its "." and ".." resolved as
    // text, so this costs no system call; other patterns never list another
    // folder and remember nothing.
    // Roots compare exactly: case twins are two folders where the volume is
    // case-sensitive, and names come in their stored case on any volume.
    if (m_rememberListings && !m_listed.insert(level->finder.GetRoot().Str()).second)
        return false;
    level->folder = folder;
    level->index = index;
    level->paths = std::move(paths);
    m_levels.push_back(std::move(level));
    m_site.OnFolderListed(folder);
    return true;
}

bool CFolderWalk::IsLeftOut(const Level& level, LPCWSTR name, size_t length) const
{
    const ScanScope& scope = m_site.GetScanOptions().m_scope;
    if (AnyMatches(scope.excludedNames, name, length))
        return true;
    // The entry's name is the one after the folders entered below the root.
    const size_t place = m_levels.size() - 1;
    for (const unsigned i : level.paths) {
        const std::vector<CNamePattern>& path = scope.excludedPaths[i];
        if (path.size() == place + 1 && path[place].Matches(name, length))
            return true;
    }
    return false;
}

std::vector<unsigned> CFolderWalk::PathsBelow(const Level& level, LPCWSTR name, size_t length) const
{
    const ScanScope& scope = m_site.GetScanOptions().m_scope;
    const size_t place = m_levels.size() - 1;
    std::vector<unsigned> below;
    for (const unsigned i : level.paths) {
        const std::vector<CNamePattern>& path = scope.excludedPaths[i];
        if (path.size() > place + 1 && path[place].Matches(name, length))
            below.push_back(i);
    }
    return below;
}

bool CFolderWalk::ClosesCycle(const CString& folderPath, FolderFact<ULONGLONG>& index,
                              FolderFact<FolderIdentity>& identity)
{
    // A folder that cannot be asked closes nothing: its search says why.
    if (!index.Ask(folderPath, GetFolderIndex))
        return false;
    for (const auto& level : m_levels) {
        if (IsSameAs(*level, folderPath, index, identity))
            return true;
    }
    return false;
}

bool CFolderWalk::IsGivenElsewhere(const CString& folderPath, FolderFact<ULONGLONG>& index,
                                   FolderFact<FolderIdentity>& identity)
{
    for (size_t i = 0; i < m_roots.size(); ++i) {
        if (i != m_root && IsSameAs(m_roots[i], folderPath, index, identity))
            return true;
    }
    return false;
}

bool CFolderWalk::ProcessFile(const CFileFind& finder)
{
    ScanOptions& options = m_site.GetScanOptions();
    GatherFileFacts(finder, m_facts);

    if (options.m_bShowOwner)
        m_facts.m_strFileOwner = m_site.GetFileOwner(m_facts.m_strFilePath);

    CDatabase* database = nullptr;
    if (options.m_bWriteToDatabase && !m_template.IsEmpty()) {
        database = m_site.GetScanDatabase();
        if (database && database->m_hdbc == SQL_NULL_HDBC)
            database = nullptr;
    }
    // Read only when asked for: it costs the file's whole content.
    if (options.m_bHashContent || (database && m_template.AsksForSha256())) {
        DWORD error = ERROR_SUCCESS;
        switch (m_hasher.Hash(m_facts.m_strFilePath, finder.GetLength(), options.m_bStop, m_facts.m_strFileSha256,
                              error)) {
        case CContentHasher::Outcome::Hashed:
            break;
        case CContentHasher::Outcome::Failed:
            m_site.ReportFileNotHashed(m_facts.m_strFilePath, error);
            break;
        case CContentHasher::Outcome::Stopped:
            return true;  // not taken: the walk stops, and its row would lack the hash
        }
    }
    if (database && !WriteFileRow(m_template, m_facts))
        return false;

    if (options.m_bShowResults)
        m_site.AddResultRow(m_facts.m_strFilePath, m_facts);
    return true;
}

bool CFolderWalk::WriteFileRow(const CSqlTemplate& sqlTemplate, const FileFacts& facts)
{
    sqlTemplate.Expand(facts, m_statement, m_scratch);
    if (IStatementQueue* queue = m_site.GetStatementQueue())
        return queue->Enqueue(m_statement);
    CString error;
    bool cancelled = false;
    try {
        m_site.GetScanDatabase()->ExecuteSQL(m_statement, &m_site.GetStatementCancel());
        return true;
    } catch (CDBException* e) {
        // A statement cancelled because the user stopped the walk ends the
        // walk: there is nothing left to ask.
        cancelled = e->m_bCancelled;
        error = e->m_strError;
        e->Delete();
    }
    return !cancelled && m_site.ContinueAfterStatementError(facts, error);
}
