#pragma once
// The SQL template language: sixteen {Name} placeholders, replaced in a fixed
// order by the file's facts. Only the four free-text values are quoted.
#include "scan/FileFacts.h"

// Doubles every single quote, so the value can sit inside a '...' literal.
CString QuoteForSql(const CString& value);

// The statement for one file. Sixteen passes, one per placeholder in the
// fixed order; each searches what the passes before it left, inserted values
// included, and goes on behind each value it inserts. (worker thread)
CString ExpandSqlTemplate(LPCWSTR sqlTemplate, const FileFacts& facts);

// The same into statement, with scratch as the second buffer: both keep
// their buffers from one file to the next, so a walk allocates only when a
// statement outgrows every one before it. (worker thread)
void ExpandSqlTemplate(LPCWSTR sqlTemplate, const FileFacts& facts, CString& statement, CString& scratch);
