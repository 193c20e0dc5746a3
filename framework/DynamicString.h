#pragma once
// CString: the framework's UTF-16 dynamic string, in the original's calling style.
#include <windows.h>
#include <string>

class CString {
public:
    CString() = default;
    CString(LPCWSTR psz) : m_str(psz ? psz : L"") {}
    CString(LPCWSTR pch, int nLength) : m_str(pch, static_cast<size_t>(nLength)) {}
    CString(wchar_t ch, int nRepeat = 1) : m_str(static_cast<size_t>(nRepeat), ch) {}

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    LPCWSTR GetString() const { return m_str.c_str(); }
    operator LPCWSTR() const { return m_str.c_str(); }
    wchar_t GetAt(int nIndex) const { return m_str.at(static_cast<size_t>(nIndex)); }

    // Keep the buffer: a string refilled for every file allocates only when
    // a longer text than any before comes along.
    void Empty() { m_str.clear(); }
    void Preallocate(int nLength) { m_str.reserve(static_cast<size_t>(nLength)); }
    void SetString(LPCWSTR pch, int nLength) { m_str.assign(pch, static_cast<size_t>(nLength)); }
    void Append(LPCWSTR pch, int nLength) { m_str.append(pch, static_cast<size_t>(nLength)); }
    void Swap(CString& other) { m_str.swap(other.m_str); }

    CString& operator+=(const CString& str) { m_str += str.m_str; return *this; }
    CString& operator+=(LPCWSTR psz) { if (psz) m_str += psz; return *this; }
    CString& operator+=(wchar_t ch) { m_str += ch; return *this; }

    // The left operand's own buffer becomes the result: returned by name, it
    // is moved, where returning what += gives back would copy it.
    friend CString operator+(CString lhs, const CString& rhs)
    {
        lhs += rhs;
        return lhs;
    }
    friend CString operator+(CString lhs, LPCWSTR rhs)
    {
        lhs += rhs;
        return lhs;
    }
    friend CString operator+(LPCWSTR lhs, const CString& rhs)
    {
        CString result(lhs);
        result += rhs;
        return result;
    }
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }

    // Text up to (not including) the last occurrence of ch, or the whole text.
    CString BeforeLast(wchar_t ch) const;

    // For Win32 calls that fill a buffer: room for nLength characters plus a
    // terminator; ReleaseBuffer then fixes the length (-1: up to the first NUL).
    LPWSTR GetBufferSetLength(int nLength);
    void ReleaseBuffer(int nNewLength = -1);

    const std::wstring& Str() const { return m_str; }

private:
    std::wstring m_str;
};
