#pragma once
#include "framework/DynamicString.h"

#include <cstdint>

// Room for any time text and its terminator.
constexpr int kFileTimeTextSize = 32;

// Local time as "%H:%M:%S %d.%m.%Y", or empty text when the time has no local
// form or cannot be formatted. (worker thread)
CString FormatFileTime(int64_t time);

// The same text into a buffer of kFileTimeTextSize characters: its length,
// 0 (with an empty text) when there is none. Allocates nothing. (worker thread)
int FormatFileTime(int64_t time, wchar_t* buffer);

// UTC as ISO 8601 to the FILETIME's 100 ns, "2023-10-29T01:30:00.1234567",
// into a buffer of kFileTimeTextSize characters: its length. Empty text (0)
// for a zero FILETIME, which means no time, and for a time past the year
// 9999, which four digits cannot hold. Allocates nothing. (worker thread)
int FormatFileTimeUtc(const FILETIME& time, wchar_t* buffer);
