// A crash of any kind in a test program says where it happened and ends the
// program at once. Left to the system, an exception would start a debugger
// that holds the whole program, deadline watcher included, until CTest's
// time-out; abort(), where std::terminate ends too, prints nothing; and a
// stack overflow that goes past the guard page in one step (a frame of a
// few KiB on 64-bit) leaves Wine no stack to report it on: it ends the
// thread without a word, and the test goes on, or waits for it.
#include "support/TestProgramEnd.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

// Written once, by the first thread that crashes, before it sets g_crashed.
LONG g_claimed = 0;
DWORD g_code = 0;  // the exception's code; 0 for abort()
const void* g_address = nullptr;
HANDLE g_crashed = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);

// The program's threads from their start until they leave through their
// detach. One whose handle is signalled while it is still here ended without
// a word. Plain data, ready before any constructor runs: a thread may start
// while other files' statics are made.
struct Thread {
    DWORD id;
    HANDLE handle;
    bool left;
};
SRWLOCK g_lock = SRWLOCK_INIT;
Thread g_threads[256];
DWORD g_threadCount = 0;
HANDLE g_threadsChanged = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);

void Enlist()
{
    HANDLE handle = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &handle, SYNCHRONIZE, FALSE,
                      0);
    ::AcquireSRWLockExclusive(&g_lock);
    if (handle && g_threadCount < ARRAYSIZE(g_threads))
        g_threads[g_threadCount++] = {::GetCurrentThreadId(), handle, false};
    ::ReleaseSRWLockExclusive(&g_lock);
    ::SetEvent(g_threadsChanged);
}

void NTAPI OnThread(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_THREAD_ATTACH)
        Enlist();
    if (reason != DLL_THREAD_DETACH)
        return;
    ::AcquireSRWLockExclusive(&g_lock);
    for (DWORD i = 0; i < g_threadCount; ++i)
        g_threads[i].left |= g_threads[i].id == ::GetCurrentThreadId();
    ::ReleaseSRWLockExclusive(&g_lock);
    ::SetEvent(g_threadsChanged);
}

// Called for every thread's start and end, by the loader.
__attribute__((used, section(".CRT$XLB"))) PIMAGE_TLS_CALLBACK g_onThread = &OnThread;

// Waits for a crash handed over, or for a thread that ends without leaving;
// false for a crash handed over.
bool WaitForCrash()
{
    for (;;) {
        HANDLE waits[MAXIMUM_WAIT_OBJECTS] = {g_crashed, g_threadsChanged};
        Thread* watched[MAXIMUM_WAIT_OBJECTS] = {};
        DWORD count = 2;
        ::AcquireSRWLockExclusive(&g_lock);
        DWORD kept = 0;
        for (DWORD i = 0; i < g_threadCount; ++i) {
            if (g_threads[i].left) {
                ::CloseHandle(g_threads[i].handle);
                continue;
            }
            g_threads[kept] = g_threads[i];
            if (count < MAXIMUM_WAIT_OBJECTS) {
                watched[count] = &g_threads[kept];
                waits[count++] = g_threads[kept].handle;
            }
            ++kept;
        }
        g_threadCount = kept;
        ::ReleaseSRWLockExclusive(&g_lock);
        const DWORD woken = ::WaitForMultipleObjects(count, waits, FALSE, INFINITE) - WAIT_OBJECT_0;
        if (woken >= count)
            break;
        if (woken == 0)
            return false;
        if (woken == 1)
            continue;
        // Its detach comes before its end. A thread ended with no test
        // running is the program's own end.
        ::AcquireSRWLockExclusive(&g_lock);
        const bool silent = !watched[woken]->left && ::testing::UnitTest::GetInstance()->current_test_info();
        watched[woken]->left = true;
        ::ReleaseSRWLockExclusive(&g_lock);
        if (silent)
            return true;
    }
    ::WaitForSingleObject(g_crashed, INFINITE);
    return false;
}

// On the crashed thread, with what stack it has left: hands the report to
// the reporter thread and waits there to be ended.
void HandOver(DWORD code, const void* address)
{
    if (::InterlockedExchange(&g_claimed, 1) == 0) {
        g_code = code;
        g_address = address;
        ::SetEvent(g_crashed);
    }
    ::Sleep(INFINITE);
}

DWORD WINAPI Reporter(LPVOID)
{
    char what[MAX_PATH + 64] = "abort()";
    if (WaitForCrash()) {
        std::strcpy(what, "a thread ended without a word (a stack overflow, most likely)");
    } else if (g_code) {
        char module[MAX_PATH] = "?";
        HMODULE hModule = nullptr;
        if (::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 static_cast<LPCSTR>(g_address), &hModule))
            ::GetModuleFileNameA(hModule, module, MAX_PATH);
        std::snprintf(what, sizeof what, "%s 0x%08lx at %s+0x%lx",
                      g_code == EXCEPTION_STACK_OVERFLOW ? "stack overflow" : "exception",
                      static_cast<unsigned long>(g_code), module,
                      static_cast<unsigned long>(static_cast<const char*>(g_address) -
                                                 reinterpret_cast<const char*>(hModule)));
    }
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    char line[sizeof what + 512];
    std::snprintf(line, sizeof line, "\n[ CRASH    ] %s, in %s.%s\n", what, test ? test->test_suite_name() : "no test",
                  test ? test->name() : "");
    EndTestProgram(line, 3);
    return 0;
}

// First in line for every exception, handled or not: only an overflow is
// taken here, while its thread still has a page of stack.
LONG CALLBACK CatchStackOverflow(EXCEPTION_POINTERS* pointers)
{
    if (pointers->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW)
        HandOver(EXCEPTION_STACK_OVERFLOW, pointers->ExceptionRecord->ExceptionAddress);
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI ReportUnhandled(EXCEPTION_POINTERS* pointers)
{
    HandOver(pointers->ExceptionRecord->ExceptionCode, pointers->ExceptionRecord->ExceptionAddress);
    return EXCEPTION_EXECUTE_HANDLER;
}

void ReportAbort(int)
{
    HandOver(0, nullptr);
}

const bool installed = [] {
    Enlist();  // the thread that runs the tests; the others enlist as they start
    ::CloseHandle(::CreateThread(nullptr, 0, &Reporter, nullptr, 0, nullptr));
    ::AddVectoredExceptionHandler(1, &CatchStackOverflow);
    ::SetUnhandledExceptionFilter(&ReportUnhandled);
    std::signal(SIGABRT, &ReportAbort);
    return true;
}();

}  // namespace

void EndTestProgram(const char* line, UINT exitCode)
{
    static LONG ended = 0;
    if (::InterlockedExchange(&ended, 1) == 0) {
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
        ::TerminateProcess(::GetCurrentProcess(), exitCode);
    }
    ::Sleep(INFINITE);
}
