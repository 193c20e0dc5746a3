#include "console/TemplateFile.h"

#include "framework/UniqueHandle.h"

#include <string>

bool ReadTemplateFile(const std::wstring& path, std::wstring& text, std::wstring& error)
{
    CFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    const auto cannotRead = [&] {
        error = L"Cannot read the template file " + path + L" (error " + std::to_wstring(::GetLastError()) + L").";
        return false;
    };
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size))
        return cannotRead();
    if (size.QuadPart > 16 * 1024 * 1024) {
        error = L"The template file " + path + L" is larger than 16 MiB: not a template.";
        return false;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        return cannotRead();
    // The statement is handed on as text that ends at its first NUL: one
    // inside would silently cut off what follows it.
    if (bytes.find('\0') != std::string::npos) {
        error = L"The template file " + path + L" holds a NUL character: not a template.";
        return false;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r'))
        bytes.pop_back();
    text.assign(bytes.size(), L'\0');
    const int length = bytes.empty() ? 0
                                     : ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                                             static_cast<int>(bytes.size()), &text[0],
                                                             static_cast<int>(text.size()));
    if (!bytes.empty() && length == 0) {
        error = L"The template file " + path + L" is not UTF-8 text.";
        return false;
    }
    text.resize(static_cast<size_t>(length));
    if (text.empty()) {
        error = L"The template file " + path + L" is empty.";
        return false;
    }
    return true;
}
