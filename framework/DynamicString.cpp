#include "framework/DynamicString.h"

#include <cwchar>

int CString::Replace(LPCWSTR pszOld, LPCWSTR pszNew)
{
    const size_t oldLength = pszOld ? wcslen(pszOld) : 0;
    if (oldLength == 0)
        return 0;
    const std::wstring replacement = pszNew ? pszNew : L"";

    size_t pos = m_str.find(pszOld, 0, oldLength);
    if (pos == std::wstring::npos)
        return 0;

    // Built in one pass so that many occurrences cost linear time.
    std::wstring result;
    result.reserve(m_str.size());
    size_t copiedUpTo = 0;
    int count = 0;
    for (; pos != std::wstring::npos; pos = m_str.find(pszOld, pos + oldLength, oldLength)) {
        result.append(m_str, copiedUpTo, pos - copiedUpTo);
        result += replacement;
        copiedUpTo = pos + oldLength;
        ++count;
    }
    result.append(m_str, copiedUpTo, std::wstring::npos);
    m_str.swap(result);
    return count;
}

CString CString::BeforeLast(wchar_t ch) const
{
    const size_t pos = m_str.rfind(ch);
    return pos == std::wstring::npos ? *this : CString(m_str.c_str(), static_cast<int>(pos));
}

LPWSTR CString::GetBufferSetLength(int nLength)
{
    m_str.resize(static_cast<size_t>(nLength < 0 ? 0 : nLength));
    return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (nNewLength < 0)
        nNewLength = static_cast<int>(wcslen(m_str.c_str()));
    if (static_cast<size_t>(nNewLength) < m_str.size())
        m_str.resize(static_cast<size_t>(nNewLength));
}
