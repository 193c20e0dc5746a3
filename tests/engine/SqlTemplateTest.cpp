#include "host/SampleDatabase.h"
#include "scan/FileTimeText.h"
#include "scan/SqlTemplate.h"
#include "support/SqlLiterals.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <random>

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
    f.m_timeCreateUtc = {0x6ed33287, 0x1da0a07};  // 2023-10-29T01:30:00.1234567: 02:30 twice in Central Europe
    f.m_timeAccessUtc = {0xd4f234c0, 0x19db1de};  // half a second before 1970
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
    f.m_strFileSha256 = L"ba7816bf";
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
                      L"14:05:09 15.03.2007|00:00:00 01.01.1970|A|c|H|n|R|s|t|AcHnRst|5368709120|root/HOST|"
                      L"2023-10-29T01:30:00.1234567|1969-12-31T23:59:59.5000000||ba7816bf"),
              Expand(L"{FileTitle}|{FilePath}|{FileUrl}|{CreateTime}|{AccessTime}|{WriteTime}|"
                     L"{ArchivedAttribute}|{CompressedAttribute}|{HiddenAttribute}|{NormalAttribute}|"
                     L"{ReadOnlyAttribute}|{SystemAttribute}|{TemporaryAtribbute}|{AllAttributes}|{FileLength}|"
                     L"{FileOwner}|{CreateTimeUtc}|{AccessTimeUtc}|{WriteTimeUtc}|{FileSha256}"));
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
    f.m_strFileOwner = L"{CreateTimeUtc}{FileOwner}";
    EXPECT_EQ(CString(L"2023-10-29T01:30:00.1234567{FileOwner}"), Expand(L"{FileOwner}", f));
    // The hash takes the template's own placeholder only, in either path.
    f.m_strFileOwner = L"{FileSha256}";
    EXPECT_EQ(CString(L"{FileSha256}|ba7816bf|{Other}|ba7816bf"), Expand(L"{FileOwner}|{FileSha256}|{Other}|{FileSha256}", f));
    EXPECT_EQ(CString(L"{FileSha256}ba7816bf"), Expand(L"{FileOwner}{FileSha256}", f));

    f.m_strFileTitle = L"{FileTitle}";
    f.m_strFilePath = L"C:\\{FileTitle}.txt";
    f.m_strFileUrl = L"file://C:\\{FileTitle}.txt";
    EXPECT_EQ(CString(L"{FileTitle} C:\\{FileTitle}.txt file://C:\\{FileTitle}.txt"),
              Expand(L"{FileTitle} {FilePath} {FileUrl}", f));

    // A value's lone brace completes the template's text into a placeholder;
    // fresh facts, so that no other value's brace takes the slow path.
    FileFacts lone = SampleFacts();
    lone.m_strFileTitle = L"x{";
    lone.m_strFileLength = L"42";
    EXPECT_EQ(CString(L"'x42'"), Expand(L"'{FileTitle}FileLength}'", lone));
}

TEST(SqlTemplate, EmptyValuesRemoveThePlaceholder)
{
    FileFacts f = SampleFacts();
    f.m_strFileOwner = CString();
    f.m_strFileTitle = CString();
    EXPECT_EQ(CString(L"'' ''"), Expand(L"'{FileOwner}' '{FileTitle}'", f));
    EXPECT_EQ(CString(), Expand(L""));
}

TEST(SqlTemplate, RandomHostileValuesNeverLeaveTheirLiteralsAndMatchThePlainExpansion)
{
    // Pieces that quote, escape, end statements or look like placeholders,
    // best-fit look-alikes of quote and backslash, and surrogate pairs.
    const std::wstring pieces[] = {
        L"'", L"''", L"{", L"}", L"{FileTitle}", L"{FilePath}", L"{FileOwner}", L"{FileLength}",
        L"{AllAttributes}", L"{CreateTime}", L"{FileUrl}", L"{TemporaryAtribbute}", L"%", L"_", L"\\", L"\\'", L",", L")", L"(", L"--", L";", L"\t", L"\n",
        L"\uff07", L"\u02bc", L"\u2032", L"\uff3c", L"\u2216", L"\u0427", L"\U0001F427", L"\U00020000", L"a", L" ",
    };
    const ValuesList columns = ReadValuesList(kFilesInsertTemplate);
    ASSERT_TRUE(columns.ok);
    ASSERT_EQ(16u, columns.values.size());

    const unsigned seed = 20261207;
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 12);
    // Names with braces take the expansion's general way, names without its
    // short one: every other round draws names without.
    bool braces = true;
    const auto text = [&] {
        std::wstring t;
        for (int n = length(random); n > 0;) {
            const std::wstring& p = pieces[piece(random)];
            if (braces || p.find(L'{') == std::wstring::npos) {
                t += p;
                --n;
            }
        }
        return t;
    };
    // One pair of buffers for every round, as a walk keeps them.
    CString reused;
    CString scratch;
    for (int round = 0; round < 2000; ++round) {
        braces = round % 2 == 0;
        FileFacts f = SampleFacts();
        f.m_strFileTitle = text().c_str();
        f.m_strFilePath = (L"C:\\" + text() + L"\\" + f.m_strFileTitle.Str() + L"." + text()).c_str();
        f.m_strFileUrl = L"file://" + f.m_strFilePath;
        f.m_strFileOwner = text().c_str();

        // Any template: the expansion is the plain sixteen-pass one.
        braces = true;
        const std::wstring anyTemplate = text() + text() + text();
        CSqlTemplate(anyTemplate.c_str()).Expand(f, reused, scratch);
        ASSERT_EQ(ReplaceSequentially(anyTemplate, f, Quotes::Doubled), reused.Str())
            << "seed " << seed << " round " << round << ": " << Narrow(anyTemplate);

        const std::wstring statement = ExpandSqlTemplate(kFilesInsertTemplate, f).Str();
        const ValuesList read = ReadValuesList(statement);
        ASSERT_TRUE(read.ok) << "seed " << seed << " round " << round << ": " << Narrow(statement);
        EXPECT_EQ(L"", read.rest) << "round " << round << ": " << Narrow(statement);
        ASSERT_EQ(columns.values.size(), read.values.size()) << "round " << round << ": " << Narrow(statement);
        for (size_t i = 0; i < columns.values.size(); ++i)
            ASSERT_EQ(ReplaceSequentially(columns.values[i], f), read.values[i])
                << "round " << round << " column " << i << ": " << Narrow(statement);
    }
}

TEST(FileTimeText, RendersLocalAndUtcTimeInTheirFixedPatternsOrNothing)
{
    // The test runs with TZ=UTC.
    EXPECT_EQ(CString(L"00:00:00 01.01.1970"), FormatFileTime(0));
    EXPECT_EQ(CString(L"14:05:09 06.12.2026"), FormatFileTime(1796565909));
    EXPECT_EQ(CString(), FormatFileTime(0x7fffffffffffLL));  // far beyond what localtime accepts
    // UTC from 1601 (fractions, 1969 and a zero time above), nothing for 10000 on.
    wchar_t buffer[kFileTimeTextSize];
    EXPECT_EQ(CString(L"1601-01-01T00:00:00.0000001"), CString(buffer, FormatFileTimeUtc({1, 0}, buffer)));
    EXPECT_EQ(0, FormatFileTimeUtc({0xd1c04000, 0x24c85a5e}, buffer));
}

TEST(FileLengthText, FullUnsignedRange)
{
    CString digits = L"a longer text that the digits replace";
    for (const auto& c : {std::make_pair(0ULL, L"0"), std::make_pair(4294967296ULL, L"4294967296"),
                          std::make_pair(5368709120ULL, L"5368709120"),
                          std::make_pair(~0ULL, L"18446744073709551615")}) {
        FormatFileLength(c.first, digits);
        EXPECT_EQ(CString(c.second), digits);
    }
}
