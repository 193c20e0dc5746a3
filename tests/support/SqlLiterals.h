#pragma once
// Reading a statement as a database would, and what its values must be: the
// checks that no file name can leave its literal, made independently of the
// product's own expansion.
#include "scan/FileFacts.h"

#include <string>
#include <vector>

// The values of an INSERT's VALUES (...) list read by standard SQL rules: a
// '...' literal with '' for a quote, or bare text (a number), trimmed.
// Whatever follows the closing parenthesis goes to rest (a second row, a
// comment); an unterminated literal or list leaves ok false.
struct ValuesList {
    std::vector<std::wstring> values;
    std::wstring rest;
    bool ok = false;
};
ValuesList ReadValuesList(const std::wstring& statement);

// The sixteen placeholders replaced one after another in their fixed order,
// each pass resuming behind what it inserted, written as plainly as it can
// be. With the facts as they are, it gives what a literal holding this text
// must read back as; with quotes doubled in the four free texts, the
// statement itself.
enum class Quotes { AsTheyAre, Doubled };
std::wstring ReplaceSequentially(const std::wstring& text, const FileFacts& facts, Quotes quotes = Quotes::AsTheyAre);
