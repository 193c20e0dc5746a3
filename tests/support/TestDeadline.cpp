// Gives every test of the program a deadline of its own: a test that hangs
// (a walk that never ends, a dialog that never closes) fails after a minute,
// naming itself, instead of holding the run until CTest's time-out ends it
// without a word. The slowest test takes seconds.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

constexpr DWORD kDeadlineMs = 60000;

class TestDeadline final : public ::testing::EmptyTestEventListener {
public:
    TestDeadline()
        : m_started(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          m_ended(::CreateEventW(nullptr, FALSE, FALSE, nullptr))
    {
        ::CloseHandle(::CreateThread(nullptr, 0, &TestDeadline::Watch, this, 0, nullptr));
    }

    void OnTestStart(const ::testing::TestInfo& test) override
    {
        m_where = std::string(test.test_suite_name()) + "." + test.name() + " (" + test.file() + ":" +
                  std::to_string(test.line()) + ")";
        ::SetEvent(m_started);
    }
    void OnTestEnd(const ::testing::TestInfo&) override { ::SetEvent(m_ended); }

private:
    static DWORD WINAPI Watch(LPVOID pv)
    {
        TestDeadline* self = static_cast<TestDeadline*>(pv);
        for (;;) {
            ::WaitForSingleObject(self->m_started, INFINITE);
            if (::WaitForSingleObject(self->m_ended, kDeadlineMs) == WAIT_TIMEOUT) {
                std::fprintf(stdout, "\n[ DEADLINE ] %s did not end within %lu s: it hangs there.\n",
                             self->m_where.c_str(), kDeadlineMs / 1000);
                std::fflush(stdout);
                // The hung threads may hold any lock: leave at once.
                ::TerminateProcess(::GetCurrentProcess(), 1);
            }
        }
    }

    HANDLE m_started;
    HANDLE m_ended;
    std::string m_where;
};

const bool registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new TestDeadline);
    return true;
}();

}  // namespace
