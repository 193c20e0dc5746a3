#include "support/TableLock.h"

#include "host/WinePath.h"
#include "support/DialogDriver.h"

#include <gtest/gtest.h>

TableLock::TableLock(Engine engine, const TestDatabase& database)
{
    const auto unix = [](const std::wstring& path) {
        return Narrow(ShellQuote(UnixPathUnderWine(path.c_str()).Str()));
    };
    const std::string take = engine == Engine::PostgreSql ? "BEGIN; LOCK TABLE files IN ACCESS EXCLUSIVE MODE;"
                             : engine == Engine::MariaDb  ? "LOCK TABLES files WRITE;"
                                                          : "BEGIN EXCLUSIVE;";
    const std::string shell = engine == Engine::PostgreSql ? "\\!"
                              : engine == Engine::MariaDb  ? "system"
                                                           : ".shell";
    const std::string release = engine == Engine::MariaDb ? "UNLOCK TABLES;" : "COMMIT;";
    // The client's shell command is split by the client's own rules: it
    // names the marker without a folder, from the marker's folder.
    const std::wstring folder = m_held.substr(0, m_held.rfind(L'\\'));
    const std::string script = "cd " + unix(folder) + "\n{ echo '" + take + "'; echo '" + shell + " touch " +
                               Narrow(m_held.substr(folder.size() + 1)) + "'; for i in $(seq 1200); do [ -e " +
                               unix(m_release) + " ] && break; sleep 0.1; done; echo '" + release + "'; } | " +
                               database.ClientCommand() + "\ntouch " + unix(m_done) + "\n";
    m_taken = RunUnixScript(script, m_held);
}

TableLock::~TableLock()
{
    ::CloseHandle(::CreateFileW(m_release.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    const auto done = [this] { return ::GetFileAttributesW(m_done.c_str()) != INVALID_FILE_ATTRIBUTES; };
    EXPECT_TRUE(DialogDriver::WaitUntil(done)) << "the lock holder did not end";
    for (const std::wstring* path : {&m_held, &m_release, &m_done})
        ::DeleteFileW(path->c_str());
}
