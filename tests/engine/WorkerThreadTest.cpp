#include "framework/WinThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>

// This program's allocator, with a failure that a test can make happen.
namespace {

thread_local bool t_failNextAllocation = false;

void* Allocate(std::size_t size) noexcept
{
    if (t_failNextAllocation) {
        t_failNextAllocation = false;
        return nullptr;
    }
    return ::HeapAlloc(::GetProcessHeap(), 0, size ? size : 1);
}

}  // namespace

void* operator new(std::size_t size)
{
    if (void* p = Allocate(size))
        return p;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}

void operator delete(void* p) noexcept
{
    if (p)
        ::HeapFree(::GetProcessHeap(), 0, p);
}

void operator delete(void* p, std::size_t) noexcept
{
    if (p)
        ::HeapFree(::GetProcessHeap(), 0, p);
}

namespace {

std::atomic<int> g_runs{0};

UINT CountRun(LPVOID)
{
    ++g_runs;
    return 0;
}

}  // namespace

TEST(WorkerThread, WantOfMemoryIsAThreadThatCannotBeCreated)
{
    t_failNextAllocation = true;
    EXPECT_EQ(nullptr, AfxBeginThread(&CountRun, nullptr)) << "no exception, no thread";
    EXPECT_EQ(0, g_runs.load());

    // With memory, the same call runs the procedure.
    CWinThread* pThread = AfxBeginThread(&CountRun, nullptr, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(nullptr, pThread);
    pThread->m_bAutoDelete = FALSE;
    pThread->ResumeThread();
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(pThread->GetHandle(), 30000));
    EXPECT_EQ(1, g_runs.load());
    delete pThread;
}
