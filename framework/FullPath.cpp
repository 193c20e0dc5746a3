#include "framework/FullPath.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace {

bool IsDrive(const std::wstring& text, size_t at)
{
    const wchar_t letter = static_cast<wchar_t>(text.size() > at + 1 ? text[at] | 0x20 : 0);
    return letter >= L'a' && letter <= L'z' && text[at + 1] == L':';
}

// Where the name that starts at pos ends: at the next backslash, or the end.
size_t NameEnd(const std::wstring& text, size_t pos)
{
    return std::min(text.find(L'\\', pos), text.size());
}

struct Root {
    std::wstring plain;  // ends in a backslash; empty when the text has no root
    size_t end;          // where the names begin in the text
    CFullPath::RootKind kind;
};

// The root that text (with backslashes only) starts with.
Root RootOf(const std::wstring& text)
{
    const bool device = text.compare(0, 4, L"\\\\?\\") == 0 || text.compare(0, 4, L"\\\\.\\") == 0;
    const size_t at = device ? 4 : 0;
    // "C:" alone is the current directory of C:, but "\\?\C:" its root.
    if (IsDrive(text, at) && (text.size() > at + 2 ? text[at + 2] == L'\\' : device))
        return {text.substr(at, 2) + L'\\', at + 2, CFullPath::RootKind::Drive};
    size_t server = 2;
    if (device) {
        const size_t nameEnd = NameEnd(text, at);
        if (nameEnd - at != 3 || _wcsnicmp(text.c_str() + at, L"UNC", 3) != 0)
            return {L"\\\\?\\" + text.substr(at, nameEnd - at) + L'\\', nameEnd, CFullPath::RootKind::Device};
        server = std::min(nameEnd + 1, text.size());  // "\\?\UNC" names no server
    } else if (text.compare(0, 2, L"\\\\") != 0) {
        return {std::wstring(), 0, CFullPath::RootKind::None};
    }
    const size_t shareEnd = server >= text.size() ? text.size() : NameEnd(text, NameEnd(text, server) + 1);
    return {L"\\\\" + text.substr(server, shareEnd - server) + L'\\', shareEnd, CFullPath::RootKind::Share};
}

// Text that a call writes into a buffer: it returns the length written, or
// the room it needs (terminator included) when the buffer is too small.
template <class Call>
std::wstring Filled(Call call)
{
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = call(static_cast<DWORD>(text.size()), &text[0]);
        if (length < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(length);
    }
}

// Text with a root: relative forms completed from the current directories,
// which the system keeps full, so that no name typed passes through its
// normalisation.
std::wstring Completed(const std::wstring& text)
{
    if (RootOf(text).kind != CFullPath::RootKind::None)
        return text;
    if (IsDrive(text, 0)) {
        const wchar_t drive[] = {text[0], L':', 0};
        return Filled([&drive](DWORD room, LPWSTR buffer) { return ::GetFullPathNameW(drive, room, buffer, nullptr); }) +
               L'\\' + text.substr(2);
    }
    const std::wstring current = Filled([](DWORD room, LPWSTR buffer) { return ::GetCurrentDirectoryW(room, buffer); });
    if (!text.empty() && text[0] == L'\\')
        return RootOf(current).plain + text.substr(1);
    return current + L'\\' + text;
}

}  // namespace

CFullPath::CFullPath(LPCWSTR path)
{
    std::wstring text = path ? path : L"";
    std::replace(text.begin(), text.end(), L'/', L'\\');
    text = Completed(text);
    const Root root = RootOf(text);
    std::wstring full = root.plain;
    // Where each name kept begins, with the backslash before it.
    std::vector<size_t> nameStarts;
    for (size_t pos = root.end; pos < text.size(); pos = NameEnd(text, pos) + 1) {
        const size_t length = NameEnd(text, pos) - pos;
        if (length == 2 && text.compare(pos, 2, L"..") == 0) {
            if (!nameStarts.empty()) {
                full.resize(nameStarts.back());
                nameStarts.pop_back();
            }
        } else if (length != 0 && (length != 1 || text[pos] != L'.')) {
            nameStarts.push_back(full.size());
            if (full.size() > root.plain.size())
                full += L'\\';
            full.append(text, pos, length);
        }
    }
    m_strPath = CString(full.c_str(), static_cast<int>(full.size()));
    m_nRootLength = static_cast<int>(root.plain.size());
    m_kind = root.kind;
}

CString CFullPath::GetFolder() const
{
    const size_t last = m_strPath.Str().rfind(L'\\');
    if (last == std::wstring::npos)
        return CString();
    return CString(m_strPath.GetString(), static_cast<int>(std::max(last, static_cast<size_t>(m_nRootLength))));
}

CString CFullPath::GetExtendedPath() const
{
    switch (m_kind) {
    case RootKind::Drive:
        return L"\\\\?\\" + m_strPath;
    case RootKind::Share:
        return CString(L"\\\\?\\UNC") + CString(m_strPath.GetString() + 1);
    default:
        // A device's root is in that form already; a path without a root
        // (no current directory) can only be given as it is.
        return m_strPath;
    }
}
