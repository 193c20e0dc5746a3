#include "scan/FileTimeText.h"

#include <ctime>

namespace {

wchar_t* TwoDigits(wchar_t* out, int value)
{
    *out++ = static_cast<wchar_t>(L'0' + value / 10 % 10);
    *out++ = static_cast<wchar_t>(L'0' + value % 10);
    return out;
}

}  // namespace

int FormatFileTime(int64_t time, wchar_t* buffer)
{
    buffer[0] = 0;
    struct tm local = {};
    const __time64_t value = time;
    if (_localtime64_s(&local, &value) != 0)
        return 0;
    // The pattern's fields written directly: a locale-aware formatter costs
    // several times as much and, for these fields, writes the same digits.
    wchar_t* out = buffer;
    out = TwoDigits(out, local.tm_hour);
    *out++ = L':';
    out = TwoDigits(out, local.tm_min);
    *out++ = L':';
    out = TwoDigits(out, local.tm_sec);
    *out++ = L' ';
    out = TwoDigits(out, local.tm_mday);
    *out++ = L'.';
    out = TwoDigits(out, local.tm_mon + 1);
    *out++ = L'.';
    wchar_t year[12];
    int digits = 0;
    for (int y = local.tm_year + 1900; y > 0 && digits < 12; y /= 10)
        year[digits++] = static_cast<wchar_t>(L'0' + y % 10);
    while (digits > 0)
        *out++ = year[--digits];
    *out = 0;
    return static_cast<int>(out - buffer);
}

CString FormatFileTime(int64_t time)
{
    wchar_t buffer[kFileTimeTextSize];
    const int length = FormatFileTime(time, buffer);
    return CString(buffer, length);
}
