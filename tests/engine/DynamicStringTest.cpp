#include "framework/DynamicString.h"

#include <gtest/gtest.h>

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
