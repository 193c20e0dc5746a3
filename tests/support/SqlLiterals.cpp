#include "support/SqlLiterals.h"

#include "scan/FileTimeText.h"

#include <cwctype>
#include <utility>

ValuesList ReadValuesList(const std::wstring& statement)
{
    ValuesList list;
    const size_t keyword = statement.find(L"VALUES");
    size_t i = keyword == std::wstring::npos ? keyword : statement.find(L'(', keyword);
    if (i == std::wstring::npos)
        return list;
    ++i;
    std::wstring value;
    bool quoted = false;
    while (i < statement.size()) {
        const wchar_t c = statement[i++];
        if (c == L'\'') {
            // A literal: only a doubled quote stands for a quote.
            for (;;) {
                if (i >= statement.size())
                    return list;
                const wchar_t d = statement[i++];
                if (d != L'\'') {
                    value += d;
                } else if (i < statement.size() && statement[i] == L'\'') {
                    value += L'\'';
                    ++i;
                } else {
                    break;
                }
            }
            quoted = true;
        } else if (c == L',' || c == L')') {
            if (!quoted) {
                while (!value.empty() && std::iswspace(value.back()))
                    value.pop_back();
            }
            list.values.push_back(value);
            value.clear();
            quoted = false;
            if (c == L')') {
                list.rest = statement.substr(i);
                list.ok = true;
                return list;
            }
        } else if (!quoted && !(value.empty() && std::iswspace(c))) {
            value += c;
        }
    }
    return list;
}

std::wstring ReplaceSequentially(const std::wstring& text, const FileFacts& facts, Quotes quotes)
{
    const auto free = [quotes](const CString& value) {
        std::wstring result;
        for (const wchar_t c : value.Str())
            result += c == L'\'' && quotes == Quotes::Doubled ? std::wstring(L"''") : std::wstring(1, c);
        return result;
    };
    const std::pair<const wchar_t*, std::wstring> passes[] = {
        {L"{FileTitle}", free(facts.m_strFileTitle)},
        {L"{FilePath}", free(facts.m_strFilePath)},
        {L"{FileUrl}", free(facts.m_strFileUrl)},
        {L"{CreateTime}", FormatFileTime(facts.m_timeCreate).Str()},
        {L"{AccessTime}", FormatFileTime(facts.m_timeAccess).Str()},
        {L"{WriteTime}", FormatFileTime(facts.m_timeWrite).Str()},
        {L"{ArchivedAttribute}", std::wstring(1, facts.m_chArchived)},
        {L"{CompressedAttribute}", std::wstring(1, facts.m_chCompressed)},
        {L"{HiddenAttribute}", std::wstring(1, facts.m_chHidden)},
        {L"{NormalAttribute}", std::wstring(1, facts.m_chNormal)},
        {L"{ReadOnlyAttribute}", std::wstring(1, facts.m_chReadOnly)},
        {L"{SystemAttribute}", std::wstring(1, facts.m_chSystem)},
        {L"{TemporaryAtribbute}", std::wstring(1, facts.m_chTemporary)},
        {L"{AllAttributes}", facts.m_strAllAttributes.Str()},
        {L"{FileLength}", facts.m_strFileLength.Str()},
        {L"{FileOwner}", free(facts.m_strFileOwner)},
    };
    std::wstring result = text;
    for (const auto& pass : passes) {
        const std::wstring placeholder = pass.first;
        for (size_t at = result.find(placeholder); at != std::wstring::npos;
             at = result.find(placeholder, at + pass.second.size()))
            result.replace(at, placeholder.size(), pass.second);
    }
    return result;
}
