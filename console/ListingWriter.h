#pragma once
// The listing of the console program: every file's twenty facts, named as
// the template's placeholders, as RFC 4180 CSV (a header line, then a line a
// file) or as JSON Lines (an object a file, the keys in the same order).
// Buffered, so that a file costs no write of its own.
#include "console/ConsoleText.h"
#include "scan/FileFacts.h"

#include <string>
#include <vector>

enum class ListFormat { None, Csv, Jsonl };

class CListingWriter {
public:
    // byteOrderMark: the CSV starts with UTF-8's, for a spreadsheet.
    CListingWriter(const CConsoleText& out, ListFormat format, bool byteOrderMark = false);

    // Appends a file's line to line, to be written now or, once its
    // statement is committed, later. replaced: a name held a character that
    // UTF-8 cannot carry (a lone surrogate), which CSV has no escape for: it
    // became U+FFFD. (worker thread)
    void Format(const FileFacts& facts, std::string& line, bool& replaced);
    // Each is false once the output cannot be written; GetLastError tells
    // why. (worker thread)
    bool Begin();
    bool WriteFormatted(const std::string& line);
    bool Flush();

private:
    void AppendCsvField(std::string& text, const CString& value, bool& replaced);
    void AppendJsonString(std::string& text, const CString& value);
    bool FlushIfFull();

    const CConsoleText& m_out;
    ListFormat m_format;
    bool m_bByteOrderMark;
    std::string m_buffer;
    std::vector<std::string> m_names;  // the facts' names in UTF-8
    CString m_value;  // each fact in turn; its buffer serves the whole walk
};
