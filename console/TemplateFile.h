#pragma once
// A template kept in a file, for scheduled tasks whose command lines cannot
// hold every character a statement needs.
#include <string>

// Reads the file as UTF-8 (a byte-order mark is dropped, and so are the line
// breaks that end it). False with a message when it cannot be read or is not
// UTF-8.
bool ReadTemplateFile(const std::wstring& path, std::wstring& text, std::wstring& error);
