#include "scan/FileFacts.h"

void FormatFileLength(unsigned long long length, CString& digits)
{
    wchar_t buffer[24];
    wchar_t* const end = buffer + 24;
    wchar_t* p = end;
    do {
        *--p = static_cast<wchar_t>(L'0' + length % 10);
        length /= 10;
    } while (length != 0);
    digits.SetString(p, static_cast<int>(end - p));
}
