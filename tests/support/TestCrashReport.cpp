// A crash in a test program says where it happened and ends the program at
// once. Left to the system, it would start a debugger that holds the whole
// program, deadline watcher included, until CTest's time-out.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    char module[MAX_PATH] = "?";
    HMODULE hModule = nullptr;
    if (::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             static_cast<LPCSTR>(record.ExceptionAddress), &hModule))
        ::GetModuleFileNameA(hModule, module, MAX_PATH);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::fprintf(stdout, "\n[ CRASH    ] exception 0x%08lx at %s+0x%lx, in %s.%s\n",
                 static_cast<unsigned long>(record.ExceptionCode), module,
                 static_cast<unsigned long>(static_cast<const char*>(record.ExceptionAddress) -
                                            reinterpret_cast<const char*>(hModule)),
                 test ? test->test_suite_name() : "no test", test ? test->name() : "");
    std::fflush(stdout);
    ::TerminateProcess(::GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

const bool installed = [] {
    ::SetUnhandledExceptionFilter(&ReportCrash);
    return true;
}();

}  // namespace
