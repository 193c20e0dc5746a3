#include "scan/SqlTemplate.h"

#include "scan/FileTimeText.h"

#include <cwchar>
#include <iterator>

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

// One placeholder's value, made only when the placeholder occurs; the four
// free texts quoted for SQL, or as they are.
void AppendValue(CString& out, int row, const FileFacts& facts, bool forSql = true)
{
    const auto time = [&out](int64_t seconds) {
        wchar_t buffer[kFileTimeTextSize];
        out.Append(buffer, FormatFileTime(seconds, buffer));
    };
    const auto utc = [&out](const FILETIME& ticks) {
        wchar_t buffer[kFileTimeTextSize];
        out.Append(buffer, FormatFileTimeUtc(ticks, buffer));
    };
    const auto text = [&out, forSql](const CString& value) {
        if (forSql)
            AppendQuotedForSql(out, value);
        else
            out += value;
    };
    switch (row) {
    case 0: text(facts.m_strFileTitle); break;
    case 1: text(facts.m_strFilePath); break;
    case 2: text(facts.m_strFileUrl); break;
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
    case 15: text(facts.m_strFileOwner); break;
    case 16: utc(facts.m_timeCreateUtc); break;
    case 17: utc(facts.m_timeAccessUtc); break;
    case 18: utc(facts.m_timeWriteUtc); break;
    default: out += facts.m_strFileSha256; break;  // hex digits: nothing to quote
    }
}

// The order matters: each row searches what the rows before it left.
struct Placeholder {
    const wchar_t* text;
    size_t length;
};
template <size_t N>
constexpr Placeholder Named(const wchar_t (&text)[N])
{
    return {text, N - 1};
}
constexpr Placeholder kPlaceholders[] = {
    Named(L"{FileTitle}"),         Named(L"{FilePath}"),          Named(L"{FileUrl}"),
    Named(L"{CreateTime}"),        Named(L"{AccessTime}"),        Named(L"{WriteTime}"),
    Named(L"{ArchivedAttribute}"), Named(L"{CompressedAttribute}"), Named(L"{HiddenAttribute}"),
    Named(L"{NormalAttribute}"),   Named(L"{ReadOnlyAttribute}"), Named(L"{SystemAttribute}"),
    Named(L"{TemporaryAtribbute}"), Named(L"{AllAttributes}"),    Named(L"{FileLength}"),
    Named(L"{FileOwner}"),         Named(L"{CreateTimeUtc}"),     Named(L"{AccessTimeUtc}"),
    Named(L"{WriteTimeUtc}"),      Named(L"{FileSha256}"),
};
static_assert(std::size(kPlaceholders) == kFactCount, "a placeholder for every fact");
// The passes: every placeholder but the hash's.
constexpr int kPasses = kFileSha256Fact;
static_assert(kPasses == kFactCount - 1, "the hash's placeholder comes last");

// One pass over the whole text for one placeholder: every occurrence, left
// to right, searching on behind each inserted value.
void ReplaceEverywhere(int row, const FileFacts& facts, CString& statement, CString& scratch)
{
    const std::wstring& text = statement.Str();
    const Placeholder& placeholder = kPlaceholders[row];
    size_t at = text.find(placeholder.text, 0, placeholder.length);
    if (at == std::wstring::npos)
        return;  // a pass that finds nothing leaves the text as it is
    scratch.Empty();
    scratch.Preallocate(static_cast<int>(text.size()) + 64);
    size_t from = 0;
    for (; at != std::wstring::npos; at = text.find(placeholder.text, from, placeholder.length)) {
        scratch.Append(text.data() + from, static_cast<int>(at - from));
        AppendValue(scratch, row, facts);
        from = at + placeholder.length;
    }
    scratch.Append(text.data() + from, static_cast<int>(text.size() - from));
    statement.Swap(scratch);
}

bool HasBrace(const CString& value)
{
    return wcschr(value.GetString(), L'{') != nullptr;
}

// The row of the placeholder that starts at text[at], or -1.
int PlaceholderAt(const std::wstring& text, size_t at)
{
    for (int row = 0; row < kFactCount; ++row) {
        const Placeholder& p = kPlaceholders[row];
        if (text.compare(at, p.length, p.text, p.length) == 0)
            return row;
    }
    return -1;
}

}  // namespace

CString FactName(int index)
{
    const Placeholder& p = kPlaceholders[index];
    CString name;
    name.SetString(p.text + 1, static_cast<int>(p.length) - 2);
    return name;
}

void AppendFact(CString& out, int index, const FileFacts& facts)
{
    AppendValue(out, index, facts, false);
}

CString QuoteForSql(const CString& value)
{
    CString quoted;
    AppendQuotedForSql(quoted, value);
    return quoted;
}

CSqlTemplate::CSqlTemplate(LPCWSTR text) : m_text(text)
{
    const std::wstring& t = m_text.Str();
    const Placeholder& hash = kPlaceholders[kFileSha256Fact];
    m_asksForSha256 = t.find(hash.text, 0, hash.length) != std::wstring::npos;
    for (size_t at = t.find(L'{'); at != std::wstring::npos; at = t.find(L'{', at + 1)) {
        const int row = PlaceholderAt(t, at);
        if (row < 0) {
            m_onlyPlaceholders = false;
            m_placeholders.clear();
            return;
        }
        m_placeholders.push_back({at, row});
    }
}

void CSqlTemplate::Expand(const FileFacts& facts, CString& statement, CString& scratch) const
{
    const std::wstring& text = m_text.Str();
    if (m_onlyPlaceholders && !HasBrace(facts.m_strFileTitle) && !HasBrace(facts.m_strFilePath) &&
        !HasBrace(facts.m_strFileUrl) && !HasBrace(facts.m_strFileOwner)) {
        // Every brace starts a placeholder and no value brings one: no pass
        // can meet a brace that another left, so the passes come to
        // replacing each placeholder once, which one copy does.
        statement.Empty();
        statement.Preallocate(static_cast<int>(text.size()) + 256);
        size_t from = 0;
        for (const Occurrence& o : m_placeholders) {
            statement.Append(text.data() + from, static_cast<int>(o.at - from));
            AppendValue(statement, o.row, facts);
            from = o.at + kPlaceholders[o.row].length;
        }
        statement.Append(text.data() + from, static_cast<int>(text.size() - from));
        return;
    }
    if (!m_asksForSha256) {
        statement = m_text;
        for (int row = 0; row < kPasses; ++row)
            ReplaceEverywhere(row, facts, statement, scratch);
        return;
    }
    // No placeholder can reach across the hash's (each starts at a brace and
    // holds no other), so the passes run on the text between them as they
    // would on the whole.
    const Placeholder& hash = kPlaceholders[kFileSha256Fact];
    statement.Empty();
    CString piece;
    for (size_t from = 0;;) {
        const size_t at = text.find(hash.text, from, hash.length);
        const size_t end = at == std::wstring::npos ? text.size() : at;
        piece.SetString(text.data() + from, static_cast<int>(end - from));
        for (int row = 0; row < kPasses; ++row)
            ReplaceEverywhere(row, facts, piece, scratch);
        statement += piece;
        if (at == std::wstring::npos)
            return;
        statement += facts.m_strFileSha256;
        from = at + hash.length;
    }
}

CString ExpandSqlTemplate(LPCWSTR sqlTemplate, const FileFacts& facts)
{
    CString statement;
    CString scratch;
    CSqlTemplate(sqlTemplate).Expand(facts, statement, scratch);
    return statement;
}
