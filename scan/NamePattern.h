#pragma once
// A file-name pattern matched as the platform's finder matches one on
// Windows: letter case ignored, * any run of characters, ? any one, with the
// finder's old-DOS forms: "*.*" takes every name, a star before a dot
// stops at the name's last dot ("*." the names without a dot), a ? before a dot or at the end may match nothing ("*.tx?" takes
// "a.tx"), and a dot before a ? or * may match the end ("a.*" takes "a").
// Matched in the process, so that leaving names out costs no search.
#include <string>

#include <windows.h>

class CNamePattern {
public:
    // The pattern as typed: one name, no folder part.
    explicit CNamePattern(const std::wstring& text);

    // (worker thread)
    bool Matches(LPCWSTR name, size_t length) const;

    // The longest pattern matched: a name has at most 255 characters, and
    // the matcher keeps one flag per character of the pattern.
    static constexpr size_t kLongest = 255;

private:
    enum class Kind { Everything, Exact, Wildcards };
    Kind m_kind;
    // Upper case, the finder's wildcards in their system forms.
    std::wstring m_expression;
};
