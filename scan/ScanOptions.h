#pragma once
// Flags that the dialog thread writes and the walk reads without a lock. Each is
// one byte; relaxed atomics keep them plain loads and stores while making the
// sharing well-defined. A change shows at the walk's next read.
#include "scan/ScanScope.h"

#include <atomic>

class CRelaxedFlag {
public:
    operator bool() const { return m_value.load(std::memory_order_relaxed); }
    CRelaxedFlag& operator=(bool value)
    {
        m_value.store(value, std::memory_order_relaxed);
        return *this;
    }

private:
    std::atomic<bool> m_value{false};
};
static_assert(sizeof(CRelaxedFlag) == 1, "option flags are single bytes");

struct ScanOptions {
    CRelaxedFlag m_bShowOwner;
    CRelaxedFlag m_bShowResults;
    CRelaxedFlag m_bWriteToDatabase;
    CRelaxedFlag m_bStop;  // stop request: set by the Start toggle, cleared when the walk returns
    // Each file's SHA-256 for the listing; a template that holds the
    // placeholder asks for it on its own.
    CRelaxedFlag m_bHashContent;
    // Set before the walk starts; the dialog leaves it empty.
    ScanScope m_scope;
};
