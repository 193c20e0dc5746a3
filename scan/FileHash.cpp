#include "scan/FileHash.h"

#include "framework/FullPath.h"
#include "framework/UniqueHandle.h"

#include <winternl.h>

namespace {

constexpr ULONG kSha256Size = 32;

bool Succeeded(NTSTATUS status, DWORD& error)
{
    if (status >= 0)
        return true;
    error = ::RtlNtStatusToDosError(status);
    return false;
}

}  // namespace

void FormatHex(const UCHAR* bytes, size_t count, CString& hex)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    wchar_t* out = hex.GetBufferSetLength(static_cast<int>(2 * count));
    for (size_t i = 0; i < count; ++i) {
        *out++ = kDigits[bytes[i] >> 4];
        *out++ = kDigits[bytes[i] & 0xF];
    }
    hex.ReleaseBuffer(static_cast<int>(2 * count));
}

CContentHasher::~CContentHasher()
{
    if (m_algorithm)
        ::BCryptCloseAlgorithmProvider(m_algorithm, 0);
}

bool CContentHasher::Prepare(DWORD& error)
{
    if (m_block)
        return true;
    if (!m_algorithm &&
        !Succeeded(::BCryptOpenAlgorithmProvider(&m_algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0), error)) {
        m_algorithm = nullptr;
        return false;
    }
    ULONG written = 0;
    if (!Succeeded(::BCryptGetProperty(m_algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&m_objectSize),
                                       sizeof m_objectSize, &written, 0),
                   error))
        return false;
    m_object = std::make_unique<UCHAR[]>(m_objectSize);
    m_block = std::make_unique<UCHAR[]>(kBlockSize);
    return true;
}

CContentHasher::Outcome CContentHasher::Hash(const CString& path, unsigned long long length, const CRelaxedFlag& stop,
                                             CString& hex, DWORD& error)
{
    hex.Empty();
    if (!Prepare(error))
        return Outcome::Failed;
    // The "\\?\" form reaches "f." and paths of any length, as the finder
    // listed them.
    const CFileHandle file(::CreateFileW(CFullPath(path).GetExtendedPath(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        error = ::GetLastError();
        return Outcome::Failed;
    }
    // A device or a pipe (Wine lists them in Unix folders) may never end.
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK) {
        error = ERROR_NOT_SUPPORTED;
        return Outcome::Failed;
    }
    const Outcome outcome = HashOpenFile(file.Get(), length, stop, error);
    if (outcome == Outcome::Hashed)
        FormatHex(m_block.get(), kSha256Size, hex);
    return outcome;
}

CContentHasher::Outcome CContentHasher::HashOpenFile(HANDLE file, unsigned long long length, const CRelaxedFlag& stop,
                                                     DWORD& error)
{
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!Succeeded(::BCryptCreateHash(m_algorithm, &hash, m_object.get(), m_objectSize, nullptr, 0, 0), error))
        return Outcome::Failed;
    Outcome outcome = Outcome::Failed;
    for (unsigned long long left = length;;) {
        if (stop) {
            outcome = Outcome::Stopped;
            break;
        }
        DWORD read = 0;
        const DWORD wanted = left < kBlockSize ? static_cast<DWORD>(left) : kBlockSize;
        if (wanted && !::ReadFile(file, m_block.get(), wanted, &read, nullptr)) {
            error = ::GetLastError();
            break;
        }
        if (read == 0 && left) {
            // Cut since it was listed: a digest now would be of neither.
            error = ERROR_HANDLE_EOF;
            break;
        }
        if (read == 0) {
            // The digest goes to the front of the block, free now.
            if (Succeeded(::BCryptFinishHash(hash, m_block.get(), kSha256Size, 0), error))
                outcome = Outcome::Hashed;
            break;
        }
        left -= read;
        if (!Succeeded(::BCryptHashData(hash, m_block.get(), read, 0), error))
            break;
    }
    ::BCryptDestroyHash(hash);
    return outcome;
}
