#include "scan/FileOwner.h"

#include "framework/FullPath.h"

#include <aclapi.h>
#include <string>

namespace {

class CWin32OwnerLookupApi final : public IOwnerLookupApi {
public:
    HANDLE Open(LPCWSTR path) override
    {
        // READ_CONTROL is all the owner query needs, and sharing everything
        // lets files that other programs hold open still report their owner.
        // In the form the system takes as it is: "f." is not "f".
        return ::CreateFileW(CFullPath(path).GetExtendedPath(), READ_CONTROL,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    DWORD QueryOwner(HANDLE file, PSID* owner, PSECURITY_DESCRIPTOR* descriptor) override
    {
        return ::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr, nullptr,
                                 descriptor);
    }
    BOOL LookupAccount(PSID sid, LPWSTR name, LPDWORD nameCount, LPWSTR domain, LPDWORD domainCount) override
    {
        SID_NAME_USE use;
        return ::LookupAccountSidW(nullptr, sid, name, nameCount, domain, domainCount, &use);
    }
    DWORD LastError() override { return ::GetLastError(); }
    void Close(HANDLE file) override { ::CloseHandle(file); }
    void Free(PSECURITY_DESCRIPTOR descriptor) override { ::LocalFree(descriptor); }
};

CString ErrorText(LPCWSTR prefix, DWORD code, DWORD* failure)
{
    if (failure)
        *failure = code;
    // The code is shown as the signed 32-bit value it is declared as.
    return CString((prefix + std::to_wstring(static_cast<long>(static_cast<LONG>(code)))).c_str());
}

// Closes the file and frees the descriptor through the api on every way out.
struct COwnerLookupResources {
    IOwnerLookupApi& api;
    HANDLE file = INVALID_HANDLE_VALUE;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ~COwnerLookupResources()
    {
        if (file != INVALID_HANDLE_VALUE)
            api.Close(file);
        if (descriptor)
            api.Free(descriptor);
    }
};

}  // namespace

IOwnerLookupApi& Win32OwnerLookupApi()
{
    static CWin32OwnerLookupApi api;
    return api;
}

CString LookupFileOwner(IOwnerLookupApi& api, LPCWSTR path, DWORD* failure)
{
    if (failure)
        *failure = ERROR_SUCCESS;
    COwnerLookupResources held{api};
    held.file = api.Open(path);
    if (held.file == INVALID_HANDLE_VALUE)
        return ErrorText(L"CreateFile error = ", api.LastError(), failure);

    PSID owner = nullptr;
    const DWORD status = api.QueryOwner(held.file, &owner, &held.descriptor);
    if (status != ERROR_SUCCESS) {
        // GetSecurityInfo returns its error rather than always setting the
        // thread's code; fall back to the returned one when none was set.
        const DWORD code = api.LastError();
        return ErrorText(L"GetSecurityInfo error = ", code != ERROR_SUCCESS ? code : status, failure);
    }

    // Size probe. Windows reports the counts with the terminator, Wine without;
    // one character more than reported suits both.
    DWORD nameCount = 1;
    DWORD domainCount = 1;
    wchar_t nameProbe[1];
    wchar_t domainProbe[1];
    api.LookupAccount(owner, nameProbe, &nameCount, domainProbe, &domainCount);

    CString name;
    CString domain;
    // Account and domain names are short; a larger count is a broken probe.
    constexpr DWORD kMaxCount = 0x8000;
    const DWORD nameRoom = (nameCount < kMaxCount ? nameCount : kMaxCount) + 1;
    const DWORD domainRoom = (domainCount < kMaxCount ? domainCount : kMaxCount) + 1;
    LPWSTR nameBuffer = name.GetBufferSetLength(static_cast<int>(nameRoom));
    LPWSTR domainBuffer = domain.GetBufferSetLength(static_cast<int>(domainRoom));
    DWORD nameLength = nameRoom;
    DWORD domainLength = domainRoom;
    if (!api.LookupAccount(owner, nameBuffer, &nameLength, domainBuffer, &domainLength)) {
        const DWORD code = api.LastError();
        if (code != ERROR_NONE_MAPPED)
            return ErrorText(L"LookupAccountSid error = ", code, failure);
        if (failure)
            *failure = code;
        return CString(L"ERROR_NONE_MAPPED");
    }
    // Never trust a returned length beyond the buffer it describes.
    name.ReleaseBuffer(static_cast<int>(nameLength < nameRoom ? nameLength : nameRoom - 1));
    domain.ReleaseBuffer(static_cast<int>(domainLength < domainRoom ? domainLength : domainRoom - 1));
    return name + L"/" + domain;
}
