#include "scan/FileTimeText.h"
#include "scan/SqlTemplate.h"

#include <gtest/gtest.h>

namespace {

FileFacts SampleFacts()
{
    FileFacts f;
    f.m_strFilePath = L"C:\\data\\report.txt";
    f.m_strFileTitle = L"report";
    f.m_strFileUrl = L"file://C:\\data\\report.txt";
    f.m_timeCreate = 1796565909;  // 14:05:09 06.12.2026 UTC
    f.m_timeAccess = 1173967509;  // 14:05:09 15.03.2007 UTC
    f.m_timeWrite = 0;
    f.m_chArchived = L'A';
    f.m_chCompressed = L'c';
    f.m_chHidden = L'H';
    f.m_chNormal = L'n';
    f.m_chReadOnly = L'R';
    f.m_chSystem = L's';
    f.m_chTemporary = L't';
    f.m_strAllAttributes = L"AcHnRst";
    f.m_strFileLength = L"5368709120";
    f.m_strFileOwner = L"root/HOST";
    return f;
}

CString Expand(LPCWSTR tmpl, const FileFacts& facts = SampleFacts())
{
    return ExpandSqlTemplate(tmpl, facts);
}

}  // namespace

TEST(SqlTemplate, EveryPlaceholderGetsItsValue)
{
    EXPECT_EQ(CString(L"report|C:\\data\\report.txt|file://C:\\data\\report.txt|14:05:09 06.12.2026|"
                      L"14:05:09 15.03.2007|00:00:00 01.01.1970|A|c|H|n|R|s|t|AcHnRst|5368709120|root/HOST"),
              Expand(L"{FileTitle}|{FilePath}|{FileUrl}|{CreateTime}|{AccessTime}|{WriteTime}|"
                     L"{ArchivedAttribute}|{CompressedAttribute}|{HiddenAttribute}|{NormalAttribute}|"
                     L"{ReadOnlyAttribute}|{SystemAttribute}|{TemporaryAtribbute}|{AllAttributes}|{FileLength}|"
                     L"{FileOwner}"));
}

TEST(SqlTemplate, OnlyExactPlaceholdersAreReplaced)
{
    // Case, spelling and braces must match to the letter; the temporary
    // letter answers only to its historic spelling.
    EXPECT_EQ(CString(L"{filetitle} {FileTitle {TemporaryAttribute} t {FILEPATH} report report"),
              Expand(L"{filetitle} {FileTitle {TemporaryAttribute} {TemporaryAtribbute} {FILEPATH} {FileTitle} "
                     L"{FileTitle}"));
    EXPECT_EQ(CString(L"DELETE FROM t"), Expand(L"DELETE FROM t"));
}

TEST(SqlTemplate, FreeTextValuesHaveQuotesDoubledAndNothingElseTouched)
{
    FileFacts f = SampleFacts();
    f.m_strFileTitle = L"O'Neil";
    f.m_strFilePath = L"C:\\it's\\O'Neil.txt";
    f.m_strFileUrl = L"file://C:\\it's\\O'Neil.txt";
    f.m_strFileOwner = L"o'brien/DOM";
    EXPECT_EQ(CString(L"INSERT INTO t VALUES ('O''Neil', 'C:\\it''s\\O''Neil.txt', 'file://C:\\it''s\\O''Neil.txt', "
                      L"'o''brien/DOM')"),
              Expand(L"INSERT INTO t VALUES ('{FileTitle}', '{FilePath}', '{FileUrl}', '{FileOwner}')", f));
    EXPECT_EQ(CString(L"a\"b\\c%d{e}"), QuoteForSql(L"a\"b\\c%d{e}"));
    // The template itself is never a format string and keeps its own quoting.
    EXPECT_EQ(CString(L"LIKE '%s%%' \\n 'x'"), Expand(L"LIKE '%s%%' \\n 'x'"));
}

TEST(SqlTemplate, InsertedValuesMeetOnlyTheLaterPlaceholders)
{
    FileFacts f = SampleFacts();
    f.m_strFileTitle = L"{FileLength}";
    f.m_strFilePath = L"C:\\{FileLength}.txt";
    f.m_strFileUrl = L"file://C:\\{FileLength}.txt";
    EXPECT_EQ(CString(L"5368709120 C:\\5368709120.txt file://C:\\5368709120.txt"),
              Expand(L"{FileTitle} {FilePath} {FileUrl}", f));

    f.m_strFileTitle = L"{FileTitle}";
    f.m_strFilePath = L"C:\\{FileTitle}.txt";
    f.m_strFileUrl = L"file://C:\\{FileTitle}.txt";
    EXPECT_EQ(CString(L"{FileTitle} C:\\{FileTitle}.txt file://C:\\{FileTitle}.txt"),
              Expand(L"{FileTitle} {FilePath} {FileUrl}", f));
}

TEST(SqlTemplate, EmptyValuesRemoveThePlaceholder)
{
    FileFacts f = SampleFacts();
    f.m_strFileOwner = CString();
    f.m_strFileTitle = CString();
    EXPECT_EQ(CString(L"'' ''"), Expand(L"'{FileOwner}' '{FileTitle}'", f));
    EXPECT_EQ(CString(), Expand(L""));
}

TEST(FileTimeText, RendersLocalTimeInTheFixedPatternOrNothing)
{
    // The test runs with TZ=UTC.
    EXPECT_EQ(CString(L"00:00:00 01.01.1970"), FormatFileTime(0));
    EXPECT_EQ(CString(L"14:05:09 06.12.2026"), FormatFileTime(1796565909));
    EXPECT_EQ(CString(), FormatFileTime(0x7fffffffffffLL));  // far beyond what localtime accepts
}

TEST(FileLengthText, FullUnsignedRange)
{
    EXPECT_EQ(CString(L"0"), FormatFileLength(0));
    EXPECT_EQ(CString(L"4294967296"), FormatFileLength(4294967296ULL));
    EXPECT_EQ(CString(L"5368709120"), FormatFileLength(5368709120ULL));
    EXPECT_EQ(CString(L"18446744073709551615"), FormatFileLength(~0ULL));
}
