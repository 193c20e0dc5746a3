#pragma once
// Owning holders for Windows resources. Each traits type names the resource's
// invalid value and how it is released; holders move but never copy.
#include <windows.h>
#include <objbase.h>
#include <sql.h>
#include <utility>

template <class Traits>
class CUniqueHandle {
public:
    using Type = typename Traits::Type;

    CUniqueHandle() = default;
    explicit CUniqueHandle(Type h) : m_h(h) {}
    ~CUniqueHandle() { Reset(); }

    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_h(other.Detach()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }

    Type Get() const { return m_h; }
    bool IsValid() const { return m_h != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    // For out-parameters: releases what is held and hands out the slot.
    Type* Put()
    {
        Reset();
        return &m_h;
    }
    Type Detach() { return std::exchange(m_h, Traits::Invalid()); }
    void Reset(Type h = Traits::Invalid())
    {
        if (IsValid())
            Traits::Close(m_h);
        m_h = h;
    }

private:
    Type m_h = Traits::Invalid();
};

struct CFileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct CKernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct CFindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};

struct CLocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::LocalFree(h); }
};

struct CModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::FreeLibrary(h); }
};

struct CCoTaskMemoryTraits {
    using Type = LPVOID;
    static Type Invalid() { return nullptr; }
    static void Close(Type p) { ::CoTaskMemFree(p); }
};

template <SQLSMALLINT HandleType>
struct COdbcHandleTraits {
    using Type = SQLHANDLE;
    static Type Invalid() { return SQL_NULL_HANDLE; }
    static void Close(Type h) { ::SQLFreeHandle(HandleType, h); }
};

using CFileHandle = CUniqueHandle<CFileHandleTraits>;      // CreateFile
using CKernelHandle = CUniqueHandle<CKernelHandleTraits>;  // threads, events
using CFindHandle = CUniqueHandle<CFindHandleTraits>;      // FindFirstFileEx
using CLocalMemory = CUniqueHandle<CLocalMemoryTraits>;    // security descriptors
using CModuleHandle = CUniqueHandle<CModuleTraits>;        // LoadLibrary
using CCoTaskMemory = CUniqueHandle<CCoTaskMemoryTraits>;  // shell item lists
using CStatementHandle = CUniqueHandle<COdbcHandleTraits<SQL_HANDLE_STMT>>;
using CConnectionHandle = CUniqueHandle<COdbcHandleTraits<SQL_HANDLE_DBC>>;
using CEnvironmentHandle = CUniqueHandle<COdbcHandleTraits<SQL_HANDLE_ENV>>;
