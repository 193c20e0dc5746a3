#pragma once
// The SHA-256 of a file's content, by the system's own cryptography: read in
// large blocks, with the file shared as the owner lookup shares it, so that
// files other programs hold open are read all the same.
#include "framework/DynamicString.h"
#include "scan/ScanOptions.h"

#include <windows.h>

#include <bcrypt.h>

#include <memory>

class CContentHasher {
public:
    CContentHasher() = default;
    ~CContentHasher();
    CContentHasher(const CContentHasher&) = delete;
    CContentHasher& operator=(const CContentHasher&) = delete;

    enum class Outcome { Hashed, Failed, Stopped };

    // The hash of the first length bytes of the file at path (the length
    // listed: a file that grows while it is read ends all the same, and its
    // hash covers what its row says), as 64 lower-case hex digits, into hex
    // (its buffer reused). Failed, with hex empty and the system's error
    // code in error, when the file cannot be opened or read, or has become
    // shorter than its length (ERROR_HANDLE_EOF); Stopped when
    // stop was set between two blocks: a file of gigabytes must not hold a
    // stop. A file written to meanwhile gets the hash of what was read.
    // (worker thread)
    Outcome Hash(const CString& path, unsigned long long length, const CRelaxedFlag& stop, CString& hex,
                 DWORD& error);

    static constexpr DWORD kBlockSize = 1 << 20;

private:
    // The algorithm, the hash object's memory and the read block, made at
    // the first file and kept for the walk. (worker thread)
    bool Prepare(DWORD& error);
    Outcome HashOpenFile(HANDLE file, unsigned long long length, const CRelaxedFlag& stop,
                         DWORD& error);  // (worker thread)

    BCRYPT_ALG_HANDLE m_algorithm = nullptr;
    DWORD m_objectSize = 0;
    std::unique_ptr<UCHAR[]> m_object;
    std::unique_ptr<UCHAR[]> m_block;
};

// Lower-case hex digits of bytes, into hex (its buffer reused).
void FormatHex(const UCHAR* bytes, size_t count, CString& hex);
