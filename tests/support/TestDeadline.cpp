// Gives every test of the program a deadline of its own: a test that hangs
// (a walk that never ends, a dialog that never closes) fails after a minute,
// naming itself, instead of holding the run until CTest's time-out ends it
// without a word. The slowest test takes seconds. Whatever Windows program
// the tests started (SorvikScan, the sample host) ends with the program.
#include "support/TestProgramEnd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>

namespace {

constexpr DWORD kDeadlineMs = 60000;

class TestDeadline final : public ::testing::EmptyTestEventListener {
public:
    TestDeadline() { ::CloseHandle(::CreateThread(nullptr, 0, &TestDeadline::Watch, this, 0, nullptr)); }

    void OnTestStart(const ::testing::TestInfo& test) override
    {
        m_where = std::string(test.test_suite_name()) + "." + test.name() + " (" + test.file() + ":" +
                  std::to_string(test.line()) + ")";
        m_startedAt = ::GetTickCount();
        m_running = true;
    }
    void OnTestEnd(const ::testing::TestInfo&) override { m_running = false; }

private:
    // Looks once a second; a test that ends and the next that starts in
    // between cannot hide from it, as they could from a pair of events.
    static DWORD WINAPI Watch(LPVOID pv)
    {
        const TestDeadline* self = static_cast<const TestDeadline*>(pv);
        for (;; ::Sleep(1000)) {
            if (self->m_running && ::GetTickCount() - self->m_startedAt > kDeadlineMs) {
                // The hung threads may hold any lock: leave at once.
                char line[1024];
                std::snprintf(line, sizeof line, "\n[ DEADLINE ] %s did not end within %lu s: it hangs there.\n",
                              self->m_where.c_str(), kDeadlineMs / 1000);
                EndTestProgram(line, 1);
            }
        }
    }

    std::string m_where;                 // written before m_running is set
    std::atomic<DWORD> m_startedAt{0};
    std::atomic<bool> m_running{false};
};

// Every process the program starts joins its job, and the job's last handle
// goes with the program, however it ends: at its deadline, at a crash, or at
// a test that left a child running. (Unix programs are not Windows
// processes: the scripts look after themselves.)
void EndChildrenWithProgram()
{
    const HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job || !::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !::AssignProcessToJobObject(job, ::GetCurrentProcess()))
        std::fprintf(stderr, "warning: the tests' programs may outlive this one (error %lu)\n", ::GetLastError());
}

const bool registered = [] {
    EndChildrenWithProgram();
    ::testing::UnitTest::GetInstance()->listeners().Append(new TestDeadline);
    return true;
}();

}  // namespace
