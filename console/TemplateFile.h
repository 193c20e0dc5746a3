#pragma once
// A template kept in a file, for scheduled tasks whose command lines cannot
// hold every character a statement needs.
#include <string>

// Reads the file as UTF-8, or as UTF-16 when it starts with that byte-order
// mark (as editors and PowerShell save "Unicode" text). A byte-order mark is
// dropped, and so are the line breaks that end the text. False with a message
// when it cannot be read or is neither.
bool ReadTemplateFile(const std::wstring& path, std::wstring& text, std::wstring& error);
