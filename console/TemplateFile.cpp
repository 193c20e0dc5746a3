#include "console/TemplateFile.h"

#include "framework/UniqueHandle.h"

namespace {

enum class Encoding { Utf8, Utf16Le, Utf16Be };

// The encoding a byte-order mark names, and the mark's length; UTF-8 without one.
Encoding DetectEncoding(const std::string& bytes, size_t& markLength)
{
    const auto startsWith = [&](const char* mark, size_t length) {
        return bytes.compare(0, length, mark, length) == 0;
    };
    markLength = startsWith("\xEF\xBB\xBF", 3) ? 3 : startsWith("\xFF\xFE", 2) || startsWith("\xFE\xFF", 2) ? 2 : 0;
    return startsWith("\xFF\xFE", 2) ? Encoding::Utf16Le : startsWith("\xFE\xFF", 2) ? Encoding::Utf16Be : Encoding::Utf8;
}

bool DecodeUtf16(const std::string& bytes, size_t from, bool bigEndian, std::wstring& text)
{
    if ((bytes.size() - from) % 2 != 0)
        return false;
    text.clear();
    for (size_t i = from; i < bytes.size(); i += 2) {
        const unsigned char first = static_cast<unsigned char>(bytes[i]);
        const unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
        text += static_cast<wchar_t>(bigEndian ? first << 8 | second : second << 8 | first);
    }
    return true;
}

bool DecodeUtf8(const std::string& bytes, size_t from, std::wstring& text)
{
    const int size = static_cast<int>(bytes.size() - from);
    text.assign(bytes.size() - from, L'\0');
    const int length =
        size == 0 ? 0 : ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + from, size, &text[0], size);
    text.resize(static_cast<size_t>(length));
    return size == 0 || length != 0;
}

}  // namespace

bool ReadTemplateFile(const std::wstring& path, std::wstring& text, std::wstring& error)
{
    CFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    const auto refuse = [&](const std::wstring& why) {
        error = L"The template file " + path + why;
        return false;
    };
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size))
        return refuse(L" cannot be read (error " + std::to_wstring(::GetLastError()) + L").");
    if (size.QuadPart > 16 * 1024 * 1024)
        return refuse(L" is larger than 16 MiB: not a template.");
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        return refuse(L" cannot be read (error " + std::to_wstring(::GetLastError()) + L").");

    size_t markLength = 0;
    const Encoding encoding = DetectEncoding(bytes, markLength);
    const bool decoded = encoding == Encoding::Utf8 ? DecodeUtf8(bytes, markLength, text)
                                                    : DecodeUtf16(bytes, markLength, encoding == Encoding::Utf16Be, text);
    // The statement is handed on as text that ends at its first NUL: one
    // inside would silently cut off what follows it. UTF-16 without its mark
    // is full of them.
    if (decoded && text.find(L'\0') != std::wstring::npos)
        return refuse(L" holds a NUL character: not a template (UTF-16 needs its byte-order mark).");
    if (!decoded)
        return refuse(encoding == Encoding::Utf8 ? L" is not UTF-8 text." : L" is not UTF-16 text: its length is odd.");
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r'))
        text.pop_back();
    if (text.empty())
        return refuse(L" is empty.");
    return true;
}
