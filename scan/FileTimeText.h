#pragma once
#include "framework/DynamicString.h"

#include <cstdint>

// Local time as "%H:%M:%S %d.%m.%Y", or empty text when the time has no local
// form or cannot be formatted. (worker thread)
CString FormatFileTime(int64_t time);
