#include "scan/SqlTemplate.h"

#include "scan/FileTimeText.h"

#include <cwchar>

namespace {

void AppendQuotedForSql(CString& out, const CString& value)
{
    const wchar_t* from = value.GetString();
    for (const wchar_t* quote = wcschr(from, L'\''); quote; quote = wcschr(from, L'\'')) {
        out.Append(from, static_cast<int>(quote - from) + 1);
        out += L'\'';
        from = quote + 1;
    }
    out.Append(from, static_cast<int>(value.GetString() + value.GetLength() - from));
}

// One placeholder's value, made only when the placeholder occurs.
void AppendValue(CString& out, int row, const FileFacts& facts)
{
    const auto time = [&out](int64_t seconds) {
        wchar_t buffer[kFileTimeTextSize];
        out.Append(buffer, FormatFileTime(seconds, buffer));
    };
    switch (row) {
    case 0: AppendQuotedForSql(out, facts.m_strFileTitle); break;
    case 1: AppendQuotedForSql(out, facts.m_strFilePath); break;
    case 2: AppendQuotedForSql(out, facts.m_strFileUrl); break;
    case 3: time(facts.m_timeCreate); break;
    case 4: time(facts.m_timeAccess); break;
    case 5: time(facts.m_timeWrite); break;
    case 6: out += facts.m_chArchived; break;
    case 7: out += facts.m_chCompressed; break;
    case 8: out += facts.m_chHidden; break;
    case 9: out += facts.m_chNormal; break;
    case 10: out += facts.m_chReadOnly; break;
    case 11: out += facts.m_chSystem; break;
    case 12: out += facts.m_chTemporary; break;
    case 13: out += facts.m_strAllAttributes; break;
    case 14: out += facts.m_strFileLength; break;
    default: AppendQuotedForSql(out, facts.m_strFileOwner); break;
    }
}

// The order matters: each row searches what the rows before it left.
const wchar_t* const kPlaceholders[] = {
    L"{FileTitle}", L"{FilePath}", L"{FileUrl}", L"{CreateTime}", L"{AccessTime}", L"{WriteTime}",
    L"{ArchivedAttribute}", L"{CompressedAttribute}", L"{HiddenAttribute}", L"{NormalAttribute}",
    L"{ReadOnlyAttribute}", L"{SystemAttribute}", L"{TemporaryAtribbute}", L"{AllAttributes}", L"{FileLength}",
    L"{FileOwner}",
};

// One pass over the whole text for one placeholder: every occurrence, left
// to right, searching on behind each inserted value.
void ReplaceEverywhere(int row, const FileFacts& facts, CString& statement, CString& scratch)
{
    const std::wstring& text = statement.Str();
    const wchar_t* placeholder = kPlaceholders[row];
    const size_t length = wcslen(placeholder);
    size_t at = text.find(placeholder, 0, length);
    if (at == std::wstring::npos)
        return;  // a pass that finds nothing leaves the text as it is
    scratch.Empty();
    scratch.Preallocate(static_cast<int>(text.size()) + 64);
    size_t from = 0;
    for (; at != std::wstring::npos; at = text.find(placeholder, from, length)) {
        scratch.Append(text.data() + from, static_cast<int>(at - from));
        AppendValue(scratch, row, facts);
        from = at + length;
    }
    scratch.Append(text.data() + from, static_cast<int>(text.size() - from));
    statement.Swap(scratch);
}

// The same pass when no value holds a brace: then every brace of the text
// is one of the template's, so only those positions can start an occurrence
// and the pass looks nowhere else. braces holds them, kept up to date.
void ReplaceAtBraces(int row, const FileFacts& facts, CString& statement, CString& scratch, size_t* braces,
                     int& braceCount)
{
    const std::wstring& text = statement.Str();
    const wchar_t* placeholder = kPlaceholders[row];
    const size_t length = wcslen(placeholder);
    bool replaced = false;
    size_t from = 0;
    int kept = 0;
    for (int i = 0; i < braceCount; ++i) {
        const size_t at = braces[i];
        if (at + length <= text.size() && wmemcmp(text.data() + at, placeholder, length) == 0) {
            if (!replaced) {
                scratch.Empty();
                scratch.Preallocate(static_cast<int>(text.size()) + 64);
                replaced = true;
            }
            scratch.Append(text.data() + from, static_cast<int>(at - from));
            AppendValue(scratch, row, facts);
            from = at + length;
        } else {
            // Where this brace stands once the text before it is written.
            braces[kept++] = replaced ? static_cast<size_t>(scratch.GetLength()) + (at - from) : at;
        }
    }
    braceCount = kept;
    if (!replaced)
        return;
    scratch.Append(text.data() + from, static_cast<int>(text.size() - from));
    statement.Swap(scratch);
}

bool HasBrace(const CString& value)
{
    return wcschr(value.GetString(), L'{') != nullptr;
}

// The row of the placeholder that starts at text[at], or -1.
int PlaceholderAt(const wchar_t* text, size_t length, size_t at)
{
    for (int row = 0; row < 16; ++row) {
        const size_t placeholderLength = wcslen(kPlaceholders[row]);
        if (at + placeholderLength <= length && wmemcmp(text + at, kPlaceholders[row], placeholderLength) == 0)
            return row;
    }
    return -1;
}

}  // namespace

CString QuoteForSql(const CString& value)
{
    CString quoted;
    AppendQuotedForSql(quoted, value);
    return quoted;
}

void ExpandSqlTemplate(LPCWSTR sqlTemplate, const FileFacts& facts, CString& statement, CString& scratch)
{
    const wchar_t* text = sqlTemplate ? sqlTemplate : L"";
    const size_t length = wcslen(text);
    // The template's braces, when values can add none and they are few.
    constexpr int kMostBraces = 64;
    size_t braces[kMostBraces];
    int rows[kMostBraces];  // the placeholder each brace starts, or -1
    int braceCount = 0;
    bool atBraces = !HasBrace(facts.m_strFileTitle) && !HasBrace(facts.m_strFilePath) &&
                    !HasBrace(facts.m_strFileUrl) && !HasBrace(facts.m_strFileOwner);
    bool allPlaceholders = atBraces;
    for (const wchar_t* brace = wcschr(text, L'{'); atBraces && brace; brace = wcschr(brace + 1, L'{')) {
        if (braceCount == kMostBraces) {
            atBraces = false;
            break;
        }
        braces[braceCount] = static_cast<size_t>(brace - text);
        rows[braceCount] = PlaceholderAt(text, length, braces[braceCount]);
        allPlaceholders = allPlaceholders && rows[braceCount] >= 0;
        ++braceCount;
    }
    if (atBraces && allPlaceholders) {
        // Every brace starts a placeholder and no value brings one: no pass
        // can meet a brace that another left, so the sixteen passes come to
        // replacing each placeholder once, which one copy does.
        statement.Empty();
        statement.Preallocate(static_cast<int>(length) + 256);
        size_t from = 0;
        for (int i = 0; i < braceCount; ++i) {
            statement.Append(text + from, static_cast<int>(braces[i] - from));
            AppendValue(statement, rows[i], facts);
            from = braces[i] + wcslen(kPlaceholders[rows[i]]);
        }
        statement.Append(text + from, static_cast<int>(length - from));
        return;
    }
    statement.SetString(text, static_cast<int>(length));
    for (int row = 0; row < 16; ++row) {
        if (atBraces)
            ReplaceAtBraces(row, facts, statement, scratch, braces, braceCount);
        else
            ReplaceEverywhere(row, facts, statement, scratch);
    }
}

CString ExpandSqlTemplate(LPCWSTR sqlTemplate, const FileFacts& facts)
{
    CString statement;
    CString scratch;
    ExpandSqlTemplate(sqlTemplate, facts, statement, scratch);
    return statement;
}
