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

void AppendUtf8(std::string& out, unsigned code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void AppendEscape(std::string& out, unsigned unit)
{
    static const char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(unit >> shift) & 0xF];
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

CListingWriter::CListingWriter(const CConsoleText& out, ListFormat format) : m_out(out), m_format(format)
{
    m_buffer.reserve(kFlushAt + 4096);
}

bool CListingWriter::Begin()
{
    if (m_format != ListFormat::Csv)
        return true;
    for (int i = 0; i < kFactCount; ++i) {
        m_buffer += i ? "," : "";
        bool unused = false;
        AppendCsvField(FactName(i), unused);
    }
    m_buffer += "\r\n";
    return FlushIfFull();
}

bool CListingWriter::Write(const FileFacts& facts, bool& replaced)
{
    replaced = false;
    if (m_format == ListFormat::None)
        return true;
    m_buffer += m_format == ListFormat::Jsonl ? "{" : "";
    for (int i = 0; i < kFactCount; ++i) {
        m_value.Empty();
        AppendFact(m_value, i, facts);
        if (m_format == ListFormat::Csv) {
            m_buffer += i ? "," : "";
            AppendCsvField(m_value, replaced);
            continue;
        }
        m_buffer += i ? ",\"" : "\"";
        const CString name = FactName(i);
        for (int c = 0; c < name.GetLength(); ++c)
            m_buffer += static_cast<char>(name.GetAt(c));
        m_buffer += "\":";
        if (i == kFileLengthFact) {
            for (int c = 0; c < m_value.GetLength(); ++c)
                m_buffer += static_cast<char>(m_value.GetAt(c));
        } else {
            AppendJsonString(m_value);
        }
    }
    m_buffer += m_format == ListFormat::Jsonl ? "}\n" : "\r\n";
    return FlushIfFull();
}

void CListingWriter::AppendCsvField(const CString& value, bool& replaced)
{
    const wchar_t* text = value.GetString();
    const bool quoted = wcspbrk(text, L"\",\r\n") != nullptr;
    m_buffer += quoted ? "\"" : "";
    ForEachCodePoint(value, [&](unsigned code, bool lone) {
        if (lone) {
            replaced = true;
            code = 0xFFFD;
        }
        if (code == '"')
            m_buffer += "\"\"";
        else
            AppendUtf8(m_buffer, code);
    });
    m_buffer += quoted ? "\"" : "";
}

void CListingWriter::AppendJsonString(const CString& value)
{
    m_buffer += '"';
    ForEachCodePoint(value, [&](unsigned code, bool lone) {
        if (lone || code < 0x20)
            AppendEscape(m_buffer, code);
        else if (code == '"' || code == '\\')
            m_buffer += code == '"' ? "\\\"" : "\\\\";
        else
            AppendUtf8(m_buffer, code);
    });
    m_buffer += '"';
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
