#include "host/ConnectionString.h"

#include "host/WinePath.h"

#include <cwctype>
#include <string>
#include <vector>

namespace {

struct Pair {
    std::wstring key;
    std::wstring value;
    bool braced;
};

std::vector<Pair> Split(const std::wstring& text)
{
    std::vector<Pair> pairs;
    size_t i = 0;
    while (i < text.size()) {
        const size_t equals = text.find(L'=', i);
        if (equals == std::wstring::npos) {
            pairs.push_back({text.substr(i), L"", false});
            break;
        }
        Pair pair{text.substr(i, equals - i), L"", false};
        i = equals + 1;
        if (i < text.size() && text[i] == L'{') {
            const size_t close = text.find(L'}', i);
            pair.value = text.substr(i + 1, close == std::wstring::npos ? std::wstring::npos : close - i - 1);
            pair.braced = true;
            i = close == std::wstring::npos ? text.size() : close + 1;
        }
        const size_t semicolon = text.find(L';', i);
        if (!pair.braced)
            pair.value = text.substr(i, semicolon == std::wstring::npos ? std::wstring::npos : semicolon - i);
        i = semicolon == std::wstring::npos ? text.size() : semicolon + 1;
        pairs.push_back(pair);
    }
    return pairs;
}

std::wstring Join(const std::vector<Pair>& pairs)
{
    std::wstring text;
    for (const Pair& pair : pairs) {
        if (!text.empty())
            text += L';';
        text += pair.key + L'=' + (pair.braced ? L"{" + pair.value + L"}" : pair.value);
    }
    return text;
}

bool SameKey(const std::wstring& a, LPCWSTR b)
{
    return ::CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool Contains(std::wstring text, const wchar_t* lowerPart)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text.find(lowerPart) != std::wstring::npos;
}

}  // namespace

CString ConnectionValue(LPCWSTR connection, LPCWSTR key)
{
    for (const Pair& pair : Split(connection)) {
        if (SameKey(pair.key, key))
            return pair.value.c_str();
    }
    return CString();
}

CString WithConnectionValue(LPCWSTR connection, LPCWSTR key, LPCWSTR value)
{
    std::vector<Pair> pairs = Split(connection);
    bool found = false;
    for (Pair& pair : pairs) {
        if (SameKey(pair.key, key)) {
            pair.value = value;
            found = true;
        }
    }
    if (!found)
        pairs.push_back({key, value, false});
    return Join(pairs).c_str();
}

CString WithoutPasswords(LPCWSTR connection)
{
    std::vector<Pair> pairs = Split(connection);
    for (Pair& pair : pairs) {
        if (SameKey(pair.key, L"PWD") || SameKey(pair.key, L"Password"))
            pair.value = L"***";
    }
    return Join(pairs).c_str();
}

bool MendSqlitePathForWine(CString& connection, CString& error)
{
    const CString database = ConnectionValue(connection, L"Database");
    const std::wstring path = database.Str();
    const bool windowsPath = (path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':') ||
                             path.find(L'\\') != std::wstring::npos;
    if (!RunningUnderWine() || !windowsPath || !Contains(ConnectionValue(connection, L"Driver").Str(), L"sqlite"))
        return true;
    const CString unixPath = UnixPathUnderWine(database);
    if (unixPath.IsEmpty()) {
        error = L"The SQLite driver under Wine needs a Linux path in Database=, and " + database +
                L" has none: give the Linux path (for example /tmp/files.sqlite).";
        return false;
    }
    connection = WithConnectionValue(connection, L"Database", unixPath);
    return true;
}
