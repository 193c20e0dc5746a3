#include "support/TempTree.h"

#include "framework/UniqueHandle.h"
#include "host/WinePath.h"

#include <gtest/gtest.h>
#include <winioctl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>

// Wine splits a Unix command line into arguments by the Windows rules, as
// CommandLineToArgvW reads them back: backslashes before a quote are doubled.
std::wstring QuoteArgument(const std::wstring& text)
{
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : text) {
        if (c == L'"')
            quoted.append(backslashes + 1, L'\\');
        backslashes = c == L'\\' ? backslashes + 1 : 0;
        quoted += c;
    }
    return quoted.append(backslashes, L'\\') + L"\"";
}

namespace {

// Removed on the Unix side in one go: links left dangling by an earlier
// removal are invisible to Windows listings and could not be deleted there.
void RemoveTree(const std::wstring& path)
{
    const CString unixPath = UnixPathUnderWine(path.c_str());
    if (!unixPath.IsEmpty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !RunUnixCommand(L"/bin/rm -rf " + QuoteArgument(unixPath.Str()), path, false))
        ADD_FAILURE() << "cannot remove " << Narrow(unixPath.Str());
}

}  // namespace

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string narrow(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], n, nullptr, nullptr);
    return narrow;
}

std::string ReadAll(const std::wstring& path)
{
    std::string text;
    if (FILE* file = _wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;)
            text.append(buffer, n);
        fclose(file);
    }
    return text;
}

std::wstring UniqueTempPath(const std::wstring& suffix)
{
    // Wine gives process ids out again from run to run: the moment of the
    // first name keeps this run's names apart from what a killed run left.
    static const std::wstring run = [] {
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        wchar_t text[32];
        std::swprintf(text, 32, L"%lx-%08lx-%08lx", ::GetCurrentProcessId(), now.dwHighDateTime, now.dwLowDateTime);
        return std::wstring(text);
    }();
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"sorvik-" + run + L"-" + std::to_wstring(++counter) + suffix;
}

bool RunUnixCommand(const std::wstring& commandLine, const std::wstring& watchedPath, bool shouldExist)
{
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring line = commandLine;
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    // Wine hands out no waitable handle for a Unix process: watch its effect.
    const DWORD deadline = ::GetTickCount() + 60000;
    for (;;) {
        const bool exists = ::GetFileAttributesW(watchedPath.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (exists == shouldExist)
            return true;
        if (static_cast<LONG>(::GetTickCount() - deadline) > 0)
            return false;
        ::Sleep(5);
    }
}

bool RunUnixScript(const std::string& script, const std::wstring& watchedPath)
{
    // No script outlives this program, killed at its deadline say, with a
    // lock held: a watch in the background ends the script's whole process
    // group (setsid makes it its own) once no process has this program's
    // mark open. Wine hands scripts to init and opens files in its server,
    // so neither a parent nor /proc/self can tell this program's Unix
    // process; the server holds the mark open as long as the program lives.
    static const std::wstring mark = [] {
        const std::wstring path = UniqueTempPath(L".alive");
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        return path;
    }();
    const std::string watch = "(while [ -e /proc/$$ ] && ls -l /proc/[0-9]*/fd 2>/dev/null | grep -qF -- " +
                              Narrow(ShellQuote(mark.substr(mark.rfind(L'\\') + 1))) +
                              "; do sleep 1; done; [ -e /proc/$$ ] && kill -- -$$) 2>/dev/null &\n";
    const std::wstring scriptPath = UniqueTempPath(L".sh");
    HANDLE file = ::CreateFileW(scriptPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool saved = file != INVALID_HANDLE_VALUE &&
                       ::WriteFile(file, watch.data(), static_cast<DWORD>(watch.size()), &written, nullptr) &&
                       ::WriteFile(file, script.data(), static_cast<DWORD>(script.size()), &written, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
    // bash has the script open by then: removing its name takes nothing away.
    const bool ran = saved && RunUnixCommand(L"/usr/bin/setsid /bin/bash " +
                                                 QuoteArgument(UnixPathUnderWine(scriptPath.c_str()).Str()),
                                             watchedPath, true);
    ::DeleteFileW(scriptPath.c_str());
    return ran;
}

TempTree::TempTree() : m_root(UniqueTempPath(L""))
{
    RemoveTree(m_root);
    if (!::CreateDirectoryW(m_root.c_str(), nullptr))
        ADD_FAILURE() << "cannot create " << Narrow(m_root);
}

TempTree::~TempTree()
{
    for (auto it = m_mounts.rbegin(); it != m_mounts.rend(); ++it) {
        if (!RunUnixCommand(L"/bin/umount " + QuoteArgument(UnixPathUnderWine(Path(*it).c_str()).Str()),
                            Path(*it + L"\\covered"), true))
            ADD_FAILURE() << "cannot unmount " << Narrow(Path(*it));
    }
    RemoveTree(m_root);
}

std::wstring TempTree::AddFolder(const std::wstring& relative) const
{
    const std::wstring path = Path(relative);
    if (!::CreateDirectoryW(path.c_str(), nullptr))
        ADD_FAILURE() << "cannot create folder " << Narrow(path);
    return path;
}

namespace {

CFileHandle CreateForWriting(const std::wstring& path)
{
    CFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        ADD_FAILURE() << "cannot create file " << Narrow(path);
    return file;
}

}  // namespace

std::wstring TempTree::AddFile(const std::wstring& relative, const std::string& content) const
{
    const std::wstring path = Path(relative);
    CFileHandle file = CreateForWriting(path);
    DWORD written = 0;
    if (file && !content.empty())
        ::WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    return path;
}

std::wstring TempTree::AddSizedFile(const std::wstring& relative, unsigned long long length) const
{
    const std::wstring path = Path(relative);
    CFileHandle file = CreateForWriting(path);
    if (!file)
        return path;
    DWORD ignored = 0;
    ::DeviceIoControl(file.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(length);
    if (!::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.Get()))
        ADD_FAILURE() << "cannot size file " << Narrow(path);
    return path;
}

void TempTree::SetTimes(const std::wstring& relative, long long accessSeconds, long long writeSeconds) const
{
    const auto toFileTime = [](long long seconds) {
        const ULONGLONG ticks = static_cast<ULONGLONG>(seconds + 11644473600LL) * 10000000ULL;
        return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    };
    const FILETIME access = toFileTime(accessSeconds);
    const FILETIME write = toFileTime(writeSeconds);
    CFileHandle file(::CreateFileW(Path(relative).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    if (!file || !::SetFileTime(file.Get(), nullptr, &access, &write))
        ADD_FAILURE() << "cannot set the times of " << Narrow(Path(relative));
}

void TempTree::AddUnixFolder(const std::wstring& relative, const std::wstring& file) const
{
    // Wine would take the name for its case twin: only the root is
    // translated. Until the folder is there, the file's path finds nothing:
    // in its "\\?\" form, which keeps a trailing dot.
    std::wstring folder = UnixPathUnderWine(m_root.c_str()).Str() + L"/" + relative;
    std::replace(folder.begin(), folder.end(), L'\\', L'/');
    ASSERT_TRUE(RunUnixCommand(L"/bin/sh -c " + QuoteArgument(L"mkdir \"$0\" && touch \"$0/$1\"") + L" " +
                                   QuoteArgument(folder) + L" " + QuoteArgument(file),
                               L"\\\\?\\" + Path(relative + L"\\" + file), true))
        << "cannot create folder " << Narrow(Path(relative));
}

void TempTree::AddMount(const std::wstring& relative, const std::wstring& bindSource)
{
    // The mount hides what the folder held: that is how its end is seen.
    AddFolder(relative);
    AddFile(relative + L"\\covered");
    const std::wstring source = bindSource.empty()
                                    ? L"-t tmpfs sorvik-test"
                                    : L"--bind " + QuoteArgument(UnixPathUnderWine(bindSource.c_str()).Str());
    ASSERT_TRUE(RunUnixCommand(L"/bin/mount " + source + L" " +
                                   QuoteArgument(UnixPathUnderWine(Path(relative).c_str()).Str()),
                               Path(relative + L"\\covered"), false))
        << "cannot mount (it needs root) on " << Narrow(Path(relative));
    m_mounts.push_back(relative);
}

void TempTree::AddFolderLink(const std::wstring& relative, const std::wstring& target) const
{
    const CString link = UnixPathUnderWine(Path(relative).c_str());
    const CString to = UnixPathUnderWine(target.c_str());
    ASSERT_FALSE(link.IsEmpty() || to.IsEmpty()) << "symbolic links need Wine";
    ASSERT_TRUE(RunUnixCommand(L"/bin/ln -s " + QuoteArgument(to.Str()) + L" " + QuoteArgument(link.Str()),
                               Path(relative), true))
        << "link not made: " << Narrow(link.Str());
}
