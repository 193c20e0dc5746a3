#include "scan/FolderWalk.h"

#include "framework/FileFind.h"
#include "scan/FolderIdentity.h"
#include "scan/SqlTemplate.h"

#include <cwchar>

struct CFolderWalk::Level {
    // The folder entered: the one listed, unless the pattern has a folder part.
    CString folder;
    CFileFind finder;
    BOOL more = TRUE;  // entries remain after the current one
    // Of the folder entered, for the cycle check: the index of every level,
    // the identity only of one whose index a sub-folder shares.
    FolderFact<ULONGLONG> index;
    FolderFact<FolderIdentity> identity;
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

}  // namespace

CFolderWalk::CFolderWalk(IScanSite& site) : m_site(site) {}

CFolderWalk::~CFolderWalk() = default;

bool CFolderWalk::ScanFolder(const CString& folder, LPCWSTR pattern, LPCWSTR sqlTemplate)
{
    m_levels.clear();
    m_listed.clear();
    m_rememberListings = HasFolderPart(pattern);
    m_template = CSqlTemplate(sqlTemplate);
    if (!OpenLevel(folder, pattern))
        return true;

    ScanOptions& options = m_site.GetScanOptions();
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
        if (!level.finder.IsDots()) {
            if (level.finder.MatchesMask(FILE_ATTRIBUTE_DIRECTORY)) {
                const CString subFolder = level.finder.GetFilePath();
                FolderFact<ULONGLONG> index;
                if (!IsAddressable(level.finder.GetFileName()))
                    m_site.ReportFolderNotListed(subFolder, ERROR_INVALID_NAME);
                else if (!ClosesCycle(subFolder, index) && OpenLevel(subFolder, pattern, index))
                    continue;  // the stop check follows when the sub-folder is done
            } else if (!ProcessFile(level.finder)) {
                m_levels.clear();
                return false;
            }
        }
        if (options.m_bStop)
            level.more = FALSE;
    }
    return true;
}

bool CFolderWalk::OpenLevel(const CString& folder, LPCWSTR pattern, const FolderFact<ULONGLONG>& index)
{
    CString spec = folder;
    if (spec.IsEmpty() || spec.GetAt(spec.GetLength() - 1) != L'\\')
        spec += L'\\';
    spec += pattern;

    auto level = std::make_unique<Level>();
    if (!level->finder.FindFile(spec)) {
        m_site.ReportFolderNotListed(folder, ::GetLastError());
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
    m_levels.push_back(std::move(level));
    m_site.OnFolderListed(folder);
    return true;
}

bool CFolderWalk::ClosesCycle(const CString& folderPath, FolderFact<ULONGLONG>& index)
{
    // A folder that cannot be asked closes nothing: its search says why.
    if (!index.Ask(folderPath, GetFolderIndex))
        return false;
    // The index rules out almost every level at the price of an open; the
    // identity, dearer (Wine asks its mount manager for the volume serial),
    // is asked only of a level with the same index.
    FolderFact<FolderIdentity> identity;
    for (const auto& level : m_levels) {
        if (level->index.Ask(level->folder, GetFolderIndex) && level->index.value == index.value &&
            identity.Ask(folderPath, GetFolderIdentity) && level->identity.Ask(level->folder, GetFolderIdentity) &&
            IsSameFolder(level->identity.value, identity.value))
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

    if (options.m_bWriteToDatabase && !m_template.IsEmpty()) {
        CDatabase* database = m_site.GetScanDatabase();
        if (database && database->m_hdbc != SQL_NULL_HDBC && !WriteFileRow(m_template, m_facts))
            return false;
    }

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
