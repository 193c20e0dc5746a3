#pragma once
// The README's fenced blocks, read from the README itself, so that what a
// reader copies is what the tests run.
#include <string>
#include <vector>

// In README order: every block whose info is exactly info, and every ```sql
// block whose info names info among its engines; with plain, also every
// ```sql block that names none.
std::vector<std::string> ReadmeBlocks(const std::wstring& readme, const std::string& info, bool plain = false);

// A block's lines, each one statement, with the semicolon that ends it dropped.
std::vector<std::string> Statements(const std::string& block);

std::wstring Widen(const std::string& utf8);
// text with every "from" replaced by "to".
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);
