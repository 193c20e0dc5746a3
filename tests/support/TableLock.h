#pragma once
// Another session's lock on the files table, taken from the Unix side with
// the engine's own client and held until the object goes (two minutes at
// most, so that a failed test leaves nothing holding).
#include "support/OdbcQuery.h"
#include "support/TempTree.h"

#include <string>

class TableLock {
public:
    TableLock(Engine engine, const TestDatabase& database);
    ~TableLock();
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

    bool Taken() const { return m_taken; }

private:
    std::wstring m_held = UniqueTempPath(L".held");
    std::wstring m_release = UniqueTempPath(L".release");
    std::wstring m_done = UniqueTempPath(L".done");
    bool m_taken = false;
};
