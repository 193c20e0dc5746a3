#include "console/ConsoleText.h"

namespace {

std::wstring Widen(const char* data, size_t size)
{
    std::wstring wide(size, L'\0');
    wide.resize(static_cast<size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, data, static_cast<int>(size), &wide[0], static_cast<int>(size))));
    return wide;
}

}  // namespace

CConsoleText::CConsoleText(DWORD stdHandle) : CConsoleText(::GetStdHandle(stdHandle)) {}

CConsoleText::CConsoleText(HANDLE handle) : m_handle(handle)
{
    DWORD mode = 0;
    m_console = ::GetConsoleMode(m_handle, &mode) != FALSE;
}

bool CConsoleText::WriteUtf8(const char* data, size_t size) const
{
    if (m_console) {
        const std::wstring wide = Widen(data, size);
        DWORD written = 0;
        return ::WriteConsoleW(m_handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != FALSE;
    }
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
        if (!::WriteFile(m_handle, data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool CConsoleText::Write(const std::wstring& text) const
{
    if (text.empty())
        return true;
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], size, nullptr, nullptr);
    return WriteUtf8(utf8.data(), utf8.size());
}

void PrintError(const std::wstring& line)
{
    CConsoleText(STD_ERROR_HANDLE).Write(line + L"\n");
}

std::wstring OneLine(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c == L'\r' || c == L'\n')
            c = L' ';
    }
    return text;
}
