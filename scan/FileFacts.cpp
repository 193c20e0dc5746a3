#include "scan/FileFacts.h"

CString FormatFileLength(unsigned long long length)
{
    wchar_t digits[24];
    wchar_t* p = digits + 23;
    *p = 0;
    do {
        *--p = static_cast<wchar_t>(L'0' + length % 10);
        length /= 10;
    } while (length != 0);
    return CString(p);
}
