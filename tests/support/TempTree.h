#pragma once
// A folder tree made for one test under the temp folder, removed afterwards.
#include <windows.h>
#include <string>
#include <vector>

class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::wstring& Root() const { return m_root; }
    // Paths are relative to the root, with backslashes.
    std::wstring Path(const std::wstring& relative) const { return m_root + L"\\" + relative; }
    std::wstring AddFolder(const std::wstring& relative) const;
    std::wstring AddFile(const std::wstring& relative, const std::string& content = "") const;
    // A file of the given length that holds no data (sparse where the disk allows).
    std::wstring AddSizedFile(const std::wstring& relative, unsigned long long length) const;
    // Sets a file's last-access and last-write times, in seconds since 1970.
    void SetTimes(const std::wstring& relative, long long accessSeconds, long long writeSeconds) const;
    // A Unix symbolic link, as Wine shows a link to a folder.
    void AddFolderLink(const std::wstring& relative, const std::wstring& target) const;
    // A folder holding one empty file, made from the Unix side, where a name
    // that differs from another only in case is a folder of its own.
    void AddUnixFolder(const std::wstring& relative, const std::wstring& file) const;
    // A folder that is the root of a fresh tmpfs, or with a source the same
    // folder as that one (a bind mount); needs root. Unmounted before the
    // tree is removed. Wine gives every tmpfs root the same identity: volume
    // serial 0, file index 1.
    void AddMount(const std::wstring& relative, const std::wstring& bindSource = L"");

private:
    std::wstring m_root;
    std::vector<std::wstring> m_mounts;  // relative; each hides a file "covered"
};

// A path under the temp folder that no other test of any run uses.
std::wstring UniqueTempPath(const std::wstring& suffix);
std::string Narrow(const std::wstring& text);
// A file's bytes; none when it cannot be read.
std::string ReadAll(const std::wstring& path);
// One argument of a command line, Unix or Windows: a path with spaces or
// quotes arrives whole.
std::wstring QuoteArgument(const std::wstring& text);
// Runs a Unix command line under Wine; true once watchedPath exists (or no
// longer exists), false if that does not happen within a minute.
bool RunUnixCommand(const std::wstring& commandLine, const std::wstring& watchedPath, bool shouldExist);
// Runs a bash script from the Unix side; true once watchedPath exists. The
// script may go on running after that, but not after this program.
bool RunUnixScript(const std::string& script, const std::wstring& watchedPath);
