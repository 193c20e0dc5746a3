#pragma once
// The SQL template language: nineteen {Name} placeholders, replaced in a fixed
// order by the file's facts, and the content hash's. Only the four free-text
// values are quoted.
#include "scan/FileFacts.h"

#include <vector>

// The twenty facts in the placeholders' order, each named as its placeholder
// without the braces, so that a listing and the template are one language.
constexpr int kFactCount = 20;
constexpr int kFileLengthFact = 14;  // the one fact that is a number
constexpr int kFileSha256Fact = 19;  // the one read from the file's content
CString FactName(int index);
// The fact's text as the placeholder gives it, but with no quote doubled.
// (worker thread)
void AppendFact(CString& out, int index, const FileFacts& facts);

// Doubles every single quote, so the value can sit inside a '...' literal.
CString QuoteForSql(const CString& value);

// A template read once, for a whole walk: where its placeholders stand, so
// that no file's statement searches the template again.
class CSqlTemplate {
public:
    explicit CSqlTemplate(LPCWSTR text = L"");

    // A template of no characters writes nothing; one of blanks does.
    bool IsEmpty() const { return m_text.IsEmpty(); }
    // The content hash is read only for a template that holds its placeholder.
    bool AsksForSha256() const { return m_asksForSha256; }

    // The statement for one file. Nineteen passes, one per placeholder in the
    // fixed order; each searches what the passes before it left, inserted
    // values included, and goes on behind each value it inserts. The hash
    // then takes the template's own {FileSha256} only: a name that holds the
    // text keeps it, so the nineteen values are what they always were.
    // Written into statement, with scratch as the second buffer: both keep
    // their buffers from one file to the next. (worker thread)
    void Expand(const FileFacts& facts, CString& statement, CString& scratch) const;

private:
    struct Occurrence {
        size_t at;
        int row;
    };
    CString m_text;
    // Where each placeholder stands, when every brace of the text starts one.
    std::vector<Occurrence> m_placeholders;
    bool m_onlyPlaceholders = true;
    bool m_asksForSha256 = false;
};

// The statement for one file, in a string of its own. (worker thread)
CString ExpandSqlTemplate(LPCWSTR sqlTemplate, const FileFacts& facts);
