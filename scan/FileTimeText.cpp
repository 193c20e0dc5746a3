#include "scan/FileTimeText.h"

#include <ctime>
#include <cwchar>

CString FormatFileTime(int64_t time)
{
    struct tm local = {};
    const __time64_t value = time;
    if (_localtime64_s(&local, &value) != 0)
        return CString();
    wchar_t buffer[128];
    const size_t written = wcsftime(buffer, 128, L"%H:%M:%S %d.%m.%Y", &local);
    if (written == 0)
        return CString();
    return CString(buffer, static_cast<int>(written));
}
