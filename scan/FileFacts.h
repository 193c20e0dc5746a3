#pragma once
// FileFacts: what the walk knows of one file. GatherFileFacts reads them from
// the finder's current entry without opening the file.
#include "framework/DynamicString.h"

#include <cstdint>
#include <cwchar>

struct FileFacts {
    CString m_strFilePath;
    CString m_strFileTitle;
    CString m_strFileUrl;
    int64_t m_timeCreate = 0;  // seconds since 1970 UTC; 0 when the finder has none
    int64_t m_timeAccess = 0;
    int64_t m_timeWrite = 0;
    // The same three times as the finder gives them: 100 ns steps since 1601
    // UTC; zero when it has none.
    FILETIME m_timeCreateUtc{};
    FILETIME m_timeAccessUtc{};
    FILETIME m_timeWriteUtc{};
    wchar_t m_chArchived = L'a';
    wchar_t m_chCompressed = L'c';
    wchar_t m_chHidden = L'h';
    wchar_t m_chNormal = L'n';
    wchar_t m_chReadOnly = L'r';
    wchar_t m_chSystem = L's';
    wchar_t m_chTemporary = L't';
    CString m_strAllAttributes;  // the seven letters above, in that order
    CString m_strFileLength;     // unsigned decimal byte count
    CString m_strFileOwner;      // empty unless the owner was looked up
    CString m_strFileSha256;     // 64 lower-case hex digits; empty unless asked for and read
};

// Unsigned decimal digits of the full 64-bit value.
void FormatFileLength(unsigned long long length, CString& digits);

// Fills facts anew from the finder's current entry, reusing the strings'
// buffers; the owner and hash texts become empty. Finder is CFileFind or anything with
// its entry queries. (worker thread)
template <class Finder>
void GatherFileFacts(const Finder& finder, FileFacts& facts)
{
    // A time the finder lacks stays 0.
    facts.m_timeCreate = 0;
    facts.m_timeAccess = 0;
    facts.m_timeWrite = 0;
    finder.GetCreationTime(facts.m_timeCreate);
    finder.GetLastAccessTime(facts.m_timeAccess);
    finder.GetLastWriteTime(facts.m_timeWrite);
    facts.m_timeCreateUtc = FILETIME{};
    facts.m_timeAccessUtc = FILETIME{};
    facts.m_timeWriteUtc = FILETIME{};
    finder.GetCreationTime(&facts.m_timeCreateUtc);
    finder.GetLastAccessTime(&facts.m_timeAccessUtc);
    finder.GetLastWriteTime(&facts.m_timeWriteUtc);

    const auto letter = [&finder](DWORD bit, wchar_t set) {
        return finder.MatchesMask(bit) ? set : static_cast<wchar_t>(set - L'A' + L'a');
    };
    facts.m_chArchived = letter(FILE_ATTRIBUTE_ARCHIVE, L'A');
    facts.m_chCompressed = letter(FILE_ATTRIBUTE_COMPRESSED, L'C');
    facts.m_chHidden = letter(FILE_ATTRIBUTE_HIDDEN, L'H');
    facts.m_chNormal = letter(FILE_ATTRIBUTE_NORMAL, L'N');
    facts.m_chReadOnly = letter(FILE_ATTRIBUTE_READONLY, L'R');
    facts.m_chSystem = letter(FILE_ATTRIBUTE_SYSTEM, L'S');
    facts.m_chTemporary = letter(FILE_ATTRIBUTE_TEMPORARY, L'T');
    const wchar_t letters[] = {facts.m_chArchived, facts.m_chCompressed, facts.m_chHidden, facts.m_chNormal,
                               facts.m_chReadOnly, facts.m_chSystem,     facts.m_chTemporary};
    facts.m_strAllAttributes.SetString(letters, 7);

    FormatFileLength(finder.GetLength(), facts.m_strFileLength);
    finder.GetFilePath(facts.m_strFilePath);
    finder.GetFileTitle(facts.m_strFileTitle);
    finder.GetFileURL(facts.m_strFileUrl);
    facts.m_strFileOwner.Empty();
    facts.m_strFileSha256.Empty();
}
