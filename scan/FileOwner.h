#pragma once
// The owner lookup: "account/domain" of a file, or an error text naming the
// call that failed and its last-error code. It never stops the walk.
#include "framework/DynamicString.h"

#include <windows.h>

// The platform calls the lookup makes, so that failures the platform will not
// produce on demand can be tested with stand-ins.
class IOwnerLookupApi {
public:
    virtual HANDLE Open(LPCWSTR path) = 0;  // CreateFileW for reading the security
    virtual DWORD QueryOwner(HANDLE file, PSID* owner, PSECURITY_DESCRIPTOR* descriptor) = 0;  // GetSecurityInfo
    virtual BOOL LookupAccount(PSID sid, LPWSTR name, LPDWORD nameCount, LPWSTR domain, LPDWORD domainCount) = 0;
    virtual DWORD LastError() = 0;
    virtual void Close(HANDLE file) = 0;
    virtual void Free(PSECURITY_DESCRIPTOR descriptor) = 0;

protected:
    ~IOwnerLookupApi() = default;
};

// The real Windows calls.
IOwnerLookupApi& Win32OwnerLookupApi();

// The owner text; when failure is given, it gets the failed call's code, or
// ERROR_SUCCESS when the text is the account. (worker thread)
CString LookupFileOwner(IOwnerLookupApi& api, LPCWSTR path, DWORD* failure = nullptr);
inline CString LookupFileOwner(LPCWSTR path, DWORD* failure = nullptr)
{
    return LookupFileOwner(Win32OwnerLookupApi(), path, failure);
}
