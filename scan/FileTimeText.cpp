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

int FormatFileTimeUtc(const FILETIME& time, wchar_t* buffer)
{
    buffer[0] = 0;
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    constexpr uint64_t kYear10000 = 2650467744000000000ULL;  // 10000-01-01 as a FILETIME
    SYSTEMTIME utc;
    if (ticks == 0 || ticks >= kYear10000 || !::FileTimeToSystemTime(&time, &utc))
        return 0;
    // No zone designator: MariaDB refuses a "Z" or "+00:00" in a DATETIME
    // value, and PostgreSQL's timestamp and SQLite read the text as UTC.
    const int fields[] = {utc.wYear / 100, utc.wYear % 100, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond};
    const wchar_t after[] = {0, L'-', L'-', L'T', L':', L':', L'.'};
    wchar_t* out = buffer;
    for (int i = 0; i < 7; ++i) {
        out = TwoDigits(out, fields[i]);
        if (after[i])
            *out++ = after[i];
    }
    // Seven digits always, so that the texts sort as the times do.
    uint64_t fraction = ticks % 10000000;
    for (int digit = 6; digit >= 0; --digit, fraction /= 10)
        out[digit] = static_cast<wchar_t>(L'0' + fraction % 10);
    out += 7;
    *out = 0;
    return static_cast<int>(out - buffer);
}

CString FormatFileTime(int64_t time)
{
    wchar_t buffer[kFileTimeTextSize];
    const int length = FormatFileTime(time, buffer);
    return CString(buffer, length);
}
