#include "host/WinePath.h"

namespace {

using UnixNameFn = char*(CDECL*)(LPCWSTR);

UnixNameFn WineUnixName()
{
    static const auto toUnix = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    return toUnix;
}

}  // namespace

bool RunningUnderWine()
{
    return WineUnixName() != nullptr;
}

CString UnixPathUnderWine(LPCWSTR windowsPath)
{
    const UnixNameFn toUnix = WineUnixName();
    char* unix = toUnix ? toUnix(windowsPath) : nullptr;
    if (!unix)
        return CString();
    CString path;
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, unix, -1, nullptr, 0);
    if (n > 1) {
        ::MultiByteToWideChar(CP_UTF8, 0, unix, -1, path.GetBufferSetLength(n - 1), n);
        path.ReleaseBuffer(n - 1);
    }
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return path;
}

std::wstring ShellQuote(const std::wstring& text)
{
    std::wstring quoted = L"'";
    for (const wchar_t c : text)
        quoted += c == L'\'' ? std::wstring(L"'\\''") : std::wstring(1, c);
    return quoted + L"'";
}
