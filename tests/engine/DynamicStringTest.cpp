#include "framework/DynamicString.h"

#include <gtest/gtest.h>

TEST(DynamicString, ReplaceResumesBehindTheInsertedTextAndNeverOverlaps)
{
    CString s(L"aaaa");
    EXPECT_EQ(2, s.Replace(L"aa", L"a"));
    EXPECT_EQ(CString(L"aa"), s);

    CString grow(L"{x}{x}");
    EXPECT_EQ(2, grow.Replace(L"{x}", L"{x}{x}"));
    EXPECT_EQ(CString(L"{x}{x}{x}{x}"), grow);

    CString none(L"abc");
    EXPECT_EQ(0, none.Replace(L"z", L"y"));
    EXPECT_EQ(0, none.Replace(L"", L"y"));
    EXPECT_EQ(CString(L"abc"), none);
}

TEST(DynamicString, BufferRoundTripAndBeforeLast)
{
    CString s;
    wcscpy(s.GetBufferSetLength(5), L"abc");
    s.ReleaseBuffer();
    EXPECT_EQ(3, s.GetLength());
    EXPECT_EQ(CString(L"a.b"), CString(L"a.b.c").BeforeLast(L'.'));
    EXPECT_EQ(CString(L"none"), CString(L"none").BeforeLast(L'.'));
    EXPECT_EQ(CString(L""), CString(L".profile").BeforeLast(L'.'));
}
