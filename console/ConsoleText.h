#pragma once
// Text to a standard handle: to a console as wide characters, which it shows
// whatever its code page; to a file or a pipe as UTF-8.
#include <windows.h>

#include <string>

class CConsoleText {
public:
    explicit CConsoleText(DWORD stdHandle);
    explicit CConsoleText(HANDLE handle);

    bool IsConsole() const { return m_console; }
    // False when the write failed; GetLastError tells why (ERROR_NO_DATA,
    // ERROR_BROKEN_PIPE or ERROR_PIPE_NOT_CONNECTED: the reader is gone).
    bool WriteUtf8(const char* data, size_t size) const;
    bool Write(const std::wstring& text) const;

private:
    HANDLE m_handle;
    bool m_console;
};

// A message line for a person, on standard error.
void PrintError(const std::wstring& line);

// A name or a driver's text may hold line breaks: a message stays one line.
std::wstring OneLine(std::wstring text);
