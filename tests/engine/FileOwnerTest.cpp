#include "scan/FileOwner.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

// Stand-in for the platform calls, for outcomes Wine does not produce.
class FakeOwnerApi final : public IOwnerLookupApi {
public:
    HANDLE handle = reinterpret_cast<HANDLE>(0x1234);
    DWORD openError = 0;
    DWORD queryStatus = ERROR_SUCCESS;
    DWORD queryError = 0;
    std::wstring name = L"Administrators";
    std::wstring domain = L"BUILTIN";
    bool countsWithTerminator = true;  // Windows; Wine reports them without
    bool probeSetsCounts = true;
    DWORD lookupError = 0;             // non-zero: the second lookup fails

    int opens = 0, queries = 0, lookups = 0, closes = 0, frees = 0;
    DWORD secondNameCount = 0, secondDomainCount = 0;
    DWORD lastError = 0;

    HANDLE Open(LPCWSTR) override
    {
        ++opens;
        lastError = openError;
        return openError ? INVALID_HANDLE_VALUE : handle;
    }
    DWORD QueryOwner(HANDLE file, PSID* owner, PSECURITY_DESCRIPTOR* descriptor) override
    {
        ++queries;
        EXPECT_EQ(handle, file);
        lastError = queryError;
        if (queryStatus != ERROR_SUCCESS)
            return queryStatus;
        *owner = &m_descriptor;
        *descriptor = &m_descriptor;
        return ERROR_SUCCESS;
    }
    BOOL LookupAccount(PSID, LPWSTR n, LPDWORD nCount, LPWSTR d, LPDWORD dCount) override
    {
        const DWORD extra = countsWithTerminator ? 1 : 0;
        if (++lookups == 1) {
            if (probeSetsCounts) {
                *nCount = static_cast<DWORD>(name.size()) + extra;
                *dCount = static_cast<DWORD>(domain.size()) + extra;
            }
            lastError = probeSetsCounts ? ERROR_INSUFFICIENT_BUFFER : ERROR_ACCESS_DENIED;
            return FALSE;
        }
        secondNameCount = *nCount;
        secondDomainCount = *dCount;
        if (lookupError) {
            lastError = lookupError;
            return FALSE;
        }
        if (*nCount < name.size() + 1 || *dCount < domain.size() + 1) {
            lastError = ERROR_INSUFFICIENT_BUFFER;
            return FALSE;
        }
        wcscpy(n, name.c_str());
        wcscpy(d, domain.c_str());
        *nCount = static_cast<DWORD>(name.size());
        *dCount = static_cast<DWORD>(domain.size());
        return TRUE;
    }
    DWORD LastError() override { return lastError; }
    void Close(HANDLE file) override
    {
        EXPECT_EQ(handle, file);
        ++closes;
    }
    void Free(PSECURITY_DESCRIPTOR descriptor) override
    {
        EXPECT_EQ(&m_descriptor, descriptor);
        ++frees;
    }

private:
    int m_descriptor = 0;
};

}  // namespace

TEST(FileOwner, AccountNameComesFirstOnWindowsAndWineCounts)
{
    for (bool windowsCounts : {true, false}) {
        FakeOwnerApi api;
        api.countsWithTerminator = windowsCounts;
        DWORD failure = 1;
        EXPECT_EQ(CString(L"Administrators/BUILTIN"), LookupFileOwner(api, L"C:\\x", &failure));
        EXPECT_EQ(0u, failure);
        EXPECT_EQ(1, api.closes);
        EXPECT_EQ(1, api.frees);
    }
}

TEST(FileOwner, EmptyDomainLeavesTheSlash)
{
    FakeOwnerApi api;
    api.name = L"svc";
    api.domain = L"";
    EXPECT_EQ(CString(L"svc/"), LookupFileOwner(api, L"C:\\x"));
}

TEST(FileOwner, LookupFailuresBecomeTheOwnerText)
{
    // Each failure also gives its code, for a front end that says so.
    FakeOwnerApi unmapped;
    unmapped.lookupError = ERROR_NONE_MAPPED;
    DWORD failure = 0;
    EXPECT_EQ(CString(L"ERROR_NONE_MAPPED"), LookupFileOwner(unmapped, L"C:\\x", &failure));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NONE_MAPPED), failure);
    EXPECT_EQ(1, unmapped.closes);
    EXPECT_EQ(1, unmapped.frees);

    FakeOwnerApi other;
    other.lookupError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(CString(L"LookupAccountSid error = 5"), LookupFileOwner(other, L"C:\\x", &failure));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), failure);

    // A probe that reports no counts leaves them at 1: the second call gets
    // two characters each and fails for want of room.
    FakeOwnerApi badProbe;
    badProbe.probeSetsCounts = false;
    EXPECT_EQ(CString(L"LookupAccountSid error = 122"), LookupFileOwner(badProbe, L"C:\\x"));
    EXPECT_EQ(2u, badProbe.secondNameCount);
    EXPECT_EQ(2u, badProbe.secondDomainCount);

    FakeOwnerApi negative;
    negative.lookupError = 0x80070005;
    EXPECT_EQ(CString(L"LookupAccountSid error = -2147024891"), LookupFileOwner(negative, L"C:\\x"));
}

TEST(FileOwner, FailedQueryReportsTheThreadsErrorCode)
{
    FakeOwnerApi api;
    api.queryStatus = ERROR_ACCESS_DENIED;
    api.queryError = ERROR_INVALID_HANDLE;
    DWORD failure = 0;
    EXPECT_EQ(CString(L"GetSecurityInfo error = 6"), LookupFileOwner(api, L"C:\\x", &failure));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), failure);
    EXPECT_EQ(0, api.lookups);
    EXPECT_EQ(1, api.closes);
    EXPECT_EQ(0, api.frees);

    FakeOwnerApi unset;  // the call returned its error without setting the thread's
    unset.queryStatus = ERROR_ACCESS_DENIED;
    EXPECT_EQ(CString(L"GetSecurityInfo error = 5"), LookupFileOwner(unset, L"C:\\x"));
}

TEST(FileOwner, FailedOpenMakesNoOwnerQuery)
{
    FakeOwnerApi api;
    api.openError = ERROR_SHARING_VIOLATION;
    DWORD failure = 0;
    EXPECT_EQ(CString(L"CreateFile error = 32"), LookupFileOwner(api, L"C:\\x", &failure));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), failure);
    EXPECT_EQ(0, api.queries);
    EXPECT_EQ(0, api.closes);
}

TEST(FileOwner, RealFilesUnderWine)
{
    TempTree tree;
    const std::wstring file = tree.AddFile(L"mine.txt");

    wchar_t user[256];
    DWORD userLength = 256;
    ASSERT_TRUE(::GetUserNameW(user, &userLength));
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD computerLength = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(::GetComputerNameW(computer, &computerLength));
    EXPECT_EQ(CString((std::wstring(user) + L"/" + computer).c_str()), LookupFileOwner(file.c_str()));

    // A file that does not exist must not report the process's own owner.
    EXPECT_EQ(CString(L"CreateFile error = 2"), LookupFileOwner(tree.Path(L"missing.txt").c_str()));

    // Held open for writing by another opener that shares nothing else: the
    // owner is still read.
    HANDLE locked = ::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    EXPECT_EQ(CString((std::wstring(user) + L"/" + computer).c_str()), LookupFileOwner(file.c_str()));
    ::CloseHandle(locked);
}
