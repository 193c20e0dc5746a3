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

    CString& operator+=(const CString& str) { m_str += str.m_str; return *this; }
    CString& operator+=(LPCWSTR psz) { if (psz) m_str += psz; return *this; }
    CString& operator+=(wchar_t ch) { m_str += ch; return *this; }

    friend CString operator+(CString lhs, const CString& rhs) { return lhs += rhs; }
    friend CString operator+(CString lhs, LPCWSTR rhs) { return lhs += rhs; }
    friend CString operator+(LPCWSTR lhs, const CString& rhs) { return CString(lhs) += rhs; }
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }

    // Replaces every occurrence of pszOld, left to right, resuming behind each
    // inserted text so that an inserted value is never searched again.
    // Returns the number of replacements.
    int Replace(LPCWSTR pszOld, LPCWSTR pszNew);

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
