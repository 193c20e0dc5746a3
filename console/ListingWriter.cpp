#include "console/ListingWriter.h"

#include "scan/SqlTemplate.h"

namespace {

constexpr size_t kFlushAt = 64 * 1024;

bool IsHighSurrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// One code point's UTF-8 at out; returns the end.
char* PutUtf8(char* out, unsigned code)
{
    if (code < 0x80) {
        *out++ = static_cast<char>(code);
    } else if (code < 0x800) {
        *out++ = static_cast<char>(0xC0 | (code >> 6));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (code >> 12));
        *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (code >> 18));
        *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

char* PutEscape(char* out, unsigned unit)
{
    static const char kHex[] = "0123456789abcdef";
    *out++ = '\\';
    *out++ = 'u';
    for (int shift = 12; shift >= 0; shift -= 4)
        *out++ = kHex[(unit >> shift) & 0xF];
    return out;
}

// Room for up to count bytes at the end of text, written through a pointer
// rather than a byte at a time; Trim then ends the text where writing ended.
char* Extend(std::string& text, size_t count)
{
    const size_t at = text.size();
    text.resize(at + count);
    return &text[at];
}

void Trim(std::string& text, const char* end)
{
    text.resize(static_cast<size_t>(end - text.data()));
}

// Walks UTF-16 text by code points: a pair makes one; a lone surrogate
// comes alone, flagged, for the caller to escape or replace.
template <class Visit>
void ForEachCodePoint(const CString& text, Visit visit)
{
    const wchar_t* p = text.GetString();
    const wchar_t* end = p + text.GetLength();
    while (p < end) {
        const wchar_t c = *p++;
        if (IsHighSurrogate(c) && p < end && IsLowSurrogate(*p)) {
            visit(0x10000 + ((static_cast<unsigned>(c) - 0xD800) << 10) + (static_cast<unsigned>(*p++) - 0xDC00),
                  false);
        } else {
            visit(static_cast<unsigned>(c), IsHighSurrogate(c) || IsLowSurrogate(c));
        }
    }
}

}  // namespace

CListingWriter::CListingWriter(const CConsoleText& out, ListFormat format, bool byteOrderMark)
    : m_out(out), m_format(format), m_bByteOrderMark(byteOrderMark)
{
    m_buffer.reserve(kFlushAt + 4096);
    // Named once, not for every file. The names are ASCII letters.
    for (int i = 0; i < kFactCount; ++i) {
        const CString name = FactName(i);
        std::string& narrow = m_names.emplace_back();
        for (int c = 0; c < name.GetLength(); ++c)
            narrow += static_cast<char>(name.GetAt(c));
    }
}

bool CListingWriter::Begin()
{
    if (m_format != ListFormat::Csv)
        return true;
    // A spreadsheet takes a CSV without the mark for the ANSI code page.
    if (m_bByteOrderMark)
        m_buffer += "\xEF\xBB\xBF";
    // Letters and digits only: no name needs quotes.
    for (int i = 0; i < kFactCount; ++i) {
        if (i)
            m_buffer += ',';
        m_buffer += m_names[static_cast<size_t>(i)];
    }
    m_buffer += "\r\n";
    return FlushIfFull();
}

bool CListingWriter::WriteFormatted(const std::string& line)
{
    m_buffer += line;
    return FlushIfFull();
}

void CListingWriter::Format(const FileFacts& facts, std::string& out, bool& replaced)
{
    replaced = false;
    if (m_format == ListFormat::None)
        return;
    const bool json = m_format == ListFormat::Jsonl;
    if (json)
        out += '{';
    for (int i = 0; i < kFactCount; ++i) {
        m_value.Empty();
        AppendFact(m_value, i, facts);
        if (i)
            out += ',';
        if (!json) {
            AppendCsvField(out, m_value, replaced);
            continue;
        }
        out += '"';
        out += m_names[static_cast<size_t>(i)];
        out += "\":";
        if (i == kFileLengthFact) {
            for (int c = 0; c < m_value.GetLength(); ++c)
                out += static_cast<char>(m_value.GetAt(c));
        } else {
            AppendJsonString(out, m_value);
        }
    }
    out += json ? "}\n" : "\r\n";
}

void CListingWriter::AppendCsvField(std::string& text, const CString& value, bool& replaced)
{
    // One pass: the rare field that needs quotes gets its opening quote put
    // in front once it is written. No UTF-16 unit takes more than three
    // bytes, a doubled quote included.
    const size_t start = text.size();
    char* out = Extend(text, 3 * static_cast<size_t>(value.GetLength()));
    bool quoted = false;
    ForEachCodePoint(value, [&](unsigned code, bool lone) {
        if (lone) {
            replaced = true;
            code = 0xFFFD;
        } else if (code == '"' || code == ',' || code == '\r' || code == '\n') {
            quoted = true;
            if (code == '"')
                *out++ = '"';
        }
        out = PutUtf8(out, code);
    });
    Trim(text, out);
    if (quoted) {
        text.insert(start, 1, '"');
        text += '"';
    }
}

void CListingWriter::AppendJsonString(std::string& text, const CString& value)
{
    // No UTF-16 unit takes more than six bytes (an escape).
    char* out = Extend(text, 6 * static_cast<size_t>(value.GetLength()) + 2);
    *out++ = '"';
    ForEachCodePoint(value, [&](unsigned code, bool lone) {
        if (lone || code < 0x20) {
            out = PutEscape(out, code);
        } else if (code == '"' || code == '\\') {
            *out++ = '\\';
            *out++ = static_cast<char>(code);
        } else {
            out = PutUtf8(out, code);
        }
    });
    *out++ = '"';
    Trim(text, out);
}

bool CListingWriter::FlushIfFull()
{
    return m_buffer.size() < kFlushAt || Flush();
}

bool CListingWriter::Flush()
{
    const bool written = m_out.WriteUtf8(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return written;
}
