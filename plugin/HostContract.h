#pragma once
// What Sorvik relies on from its host. A host built with another compiler
// calls these through their virtual tables by position, so they hold only
// virtual functions with the default member calling convention (thiscall on
// x86), no virtual destructors, no overloads and no library types.
#include "framework/Database.h"

class IHostContext {
public:
    virtual void HostReserved() = 0;          // slot 0: the host's own; never called
    virtual CDatabase* GetDatabase() = 0;     // slot 1: the open connection, or null

protected:
    ~IHostContext() = default;
};
