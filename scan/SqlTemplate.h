#pragma once
// The SQL template language: sixteen {Name} placeholders, replaced in a fixed
// order by the file's facts. Only the four free-text values are quoted.
#include "scan/FileFacts.h"

// Doubles every single quote, so the value can sit inside a '...' literal.
CString QuoteForSql(const CString& value);

// (worker thread)
CString ExpandSqlTemplate(LPCWSTR sqlTemplate, const FileFacts& facts);
