#pragma once
// The folder walk: depth-first through folder trees by one pattern, running
// the per-file work (facts, owner, content hash, database write, result row)
// for each file taken. Every member runs on the worker thread.
#include "scan/FileFacts.h"
#include "scan/FileHash.h"
#include "scan/FolderIdentity.h"
#include "scan/ScanSite.h"
#include "scan/SqlTemplate.h"

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class CFileFind;

class CFolderWalk {
public:
    explicit CFolderWalk(IScanSite& site);
    ~CFolderWalk();

    // Walks folder and every sub-folder whose name matches the pattern.
    // Returns false only when the walk ended at a database error.
    // (worker thread)
    bool ScanFolder(const CString& folder, LPCWSTR pattern, LPCWSTR sqlTemplate);
    // Walks each folder in turn as ScanFolder walks one, with one template,
    // until a stop. A folder given twice is walked once, and one inside
    // another given is left to its own walk, where the scope's exclusions
    // and depth count from it. (worker thread)
    bool ScanFolders(const std::vector<CString>& folders, LPCWSTR pattern, LPCWSTR sqlTemplate);

    // Expands the template for one file and executes it, or hands it to the
    // site's queue. False when the site ends the walk at a statement's error,
    // or a stop cancelled the statement. (worker thread)
    bool WriteFileRow(const CSqlTemplate& sqlTemplate, const FileFacts& facts);

private:
    // A folder and the facts that tell it from others, asked once each.
    struct KnownFolder {
        CString folder;
        FolderFact<ULONGLONG> index;
        FolderFact<FolderIdentity> identity;
    };
    struct Level;

    bool WalkRoot(const CString& folder, LPCWSTR pattern);  // (worker thread)
    // Opens the search of a folder as the new current level; index is the
    // folder's, when asked already, and paths the exclusions by path that
    // the folders down to it have matched so far. False when the search
    // cannot start (after saying so) or would list a folder that a level
    // above is listing already. (worker thread)
    bool OpenLevel(const CString& folder, LPCWSTR pattern, const FolderFact<ULONGLONG>& index,
                   std::vector<unsigned> paths);
    // The current level's current entry is left out by the scope's
    // exclusions; a sub-folder entered gets the paths still matching in
    // below. (worker thread)
    bool IsLeftOut(const Level& level, LPCWSTR name, size_t length) const;
    std::vector<unsigned> PathsBelow(const Level& level, LPCWSTR name, size_t length) const;
    bool ProcessFile(const CFileFind& finder);  // (worker thread)
    // True when the folder is one of the folders entered above it, reached
    // through a link or a mount of one of them (Wine shows a mount point as
    // a plain folder, so every sub-folder is asked); or one of the other
    // folders given, walked on its own. Its facts are asked into index and
    // identity. (worker thread)
    bool ClosesCycle(const CString& folderPath, FolderFact<ULONGLONG>& index, FolderFact<FolderIdentity>& identity);
    bool IsGivenElsewhere(const CString& folderPath, FolderFact<ULONGLONG>& index,
                          FolderFact<FolderIdentity>& identity);

    IScanSite& m_site;
    // Read when the walk starts. (worker thread)
    CSqlTemplate m_template;
    // Refilled for every file, so that their buffers serve the whole walk.
    // (worker thread)
    FileFacts m_facts;
    CString m_statement;
    CString m_scratch;
    CContentHasher m_hasher;
    // The folders given, each walked once, and the one being walked.
    std::vector<KnownFolder> m_roots;
    size_t m_root = 0;
    // The open searches from the top folder down to the current one. Kept on
    // the heap so that deep trees cost no stack.
    std::vector<std::unique_ptr<Level>> m_levels;
    // The folders listed so far, kept only for patterns with a folder part.
    // (worker thread)
    bool m_rememberListings = false;
    std::unordered_set<std::wstring> m_listed;
};
