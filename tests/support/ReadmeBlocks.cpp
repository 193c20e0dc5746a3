#include "support/ReadmeBlocks.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <sstream>

std::vector<std::string> ReadmeBlocks(const std::wstring& readme, const std::string& info, bool plain)
{
    const std::string text = ReadAll(readme);
    EXPECT_FALSE(text.empty()) << Narrow(readme);
    std::istringstream file(text);
    std::vector<std::string> blocks;
    std::string line;
    bool inside = false;
    while (std::getline(file, line)) {
        const bool names = line.find("```sql ") == 0 && (line + " ").find(" " + info + " ") != std::string::npos;
        if (!inside && (line == "```" + info || names || (plain && line == "```sql"))) {
            inside = true;
            blocks.emplace_back();
        } else if (inside && line == "```") {
            inside = false;
        } else if (inside) {
            blocks.back() += blocks.back().empty() ? line : "\n" + line;
        }
    }
    return blocks;
}

std::vector<std::string> Statements(const std::string& block)
{
    std::vector<std::string> statements;
    std::istringstream lines(block);
    for (std::string line; std::getline(lines, line);)
        statements.push_back(line.substr(0, line.find_last_not_of(';') + 1));
    return statements;
}

std::wstring Widen(const std::string& utf8)
{
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                          &wide[0], static_cast<int>(wide.size()))));
    return wide;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    if (from.empty())
        return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}
