#include "scan/NamePattern.h"

#include <algorithm>

extern "C" WCHAR NTAPI RtlUpcaseUnicodeChar(WCHAR);

namespace {

// The finder's wildcards as the file system takes them.
constexpr wchar_t kDosStar = L'<';  // any run without the name's last dot
constexpr wchar_t kDosQm = L'>';    // any one character, or nothing before a dot or the end
constexpr wchar_t kDosDot = L'"';   // a dot, or nothing at the end

// As the file system compares names: by the system's upcase table.
wchar_t Upcase(wchar_t c)
{
    if (c < 0x80)
        return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c;
    return ::RtlUpcaseUnicodeChar(c);
}

// The pattern as the finder hands it to the file system: a star before a
// dot becomes a DOS star, a dot before ? or * a DOS dot, every ? a DOS
// question mark.
std::wstring Translated(const std::wstring& text)
{
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool last = i + 1 == text.size();
        // A star before a dot stops at the name's last dot ("*.??" leaves
        // "a.txt.bak" out); "*." at the end is that star alone.
        if (c == L'.' && i > 0 && text[i - 1] == L'*') {
            out.back() = kDosStar;
            if (last)
                continue;
        }
        if (c == L'.' && !last && (text[i + 1] == L'?' || text[i + 1] == L'*'))
            out += kDosDot;
        else if (c == L'?')
            out += kDosQm;
        else
            out += Upcase(c);
    }
    return out;
}

// The expression's moves that take no character: a star may stop, a DOS
// question mark before a dot or at the end, a DOS dot at the end. Forward
// only, so one pass in order follows every chain.
void Close(bool* states, const std::wstring& x, wchar_t next, bool atEnd)
{
    for (size_t p = 0; p < x.size(); ++p) {
        if (!states[p])
            continue;
        const wchar_t w = x[p];
        if (w == L'*' || w == kDosStar || (w == kDosQm && (atEnd || next == L'.')) || (w == kDosDot && atEnd))
            states[p + 1] = true;
    }
}

}  // namespace

CNamePattern::CNamePattern(const std::wstring& text)
{
    if (text == L"*" || text == L"*.*") {
        m_kind = Kind::Everything;
        return;
    }
    m_expression = Translated(text);
    m_kind = m_expression.find_first_of(L"*<>\"") == std::wstring::npos ? Kind::Exact : Kind::Wildcards;
}

bool CNamePattern::Matches(LPCWSTR name, size_t length) const
{
    const std::wstring& x = m_expression;
    switch (m_kind) {
    case Kind::Everything:
        return true;
    case Kind::Exact:
        if (length != x.size())
            return false;
        for (size_t i = 0; i < length; ++i) {
            if (Upcase(name[i]) != x[i])
                return false;
        }
        return true;
    case Kind::Wildcards:
        break;
    }
    // The expression's positions that the name so far can have reached;
    // each character moves them all at once.
    bool states[kLongest + 2] = {};
    bool next[kLongest + 2];
    const wchar_t* lastDot = nullptr;
    for (size_t i = 0; i < length; ++i) {
        if (name[i] == L'.')
            lastDot = name + i;
    }
    states[0] = true;
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = Upcase(name[i]);
        Close(states, x, c, false);
        std::fill(next, next + x.size() + 1, false);
        bool any = false;
        for (size_t p = 0; p < x.size(); ++p) {
            if (!states[p])
                continue;
            const wchar_t w = x[p];
            const bool stay = w == L'*' || (w == kDosStar && name + i != lastDot);
            const bool literal = w != L'*' && w != kDosStar && w != kDosQm && w != kDosDot;
            const bool advance = (w == kDosQm && c != L'.') || (w == kDosDot && c == L'.') || (literal && w == c);
            next[p] |= stay;
            next[p + 1] |= advance;
            any = any || stay || advance;
        }
        if (!any)
            return false;
        std::copy(next, next + x.size() + 1, states);
    }
    Close(states, x, 0, true);
    return states[x.size()];
}
