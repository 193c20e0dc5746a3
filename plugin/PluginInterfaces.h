#pragma once
// The plug-in interface as hosts see it: one virtual table of five slots.
//   0 SetHost  1 GetHost  2 GetTypeCode  3 Execute  4 GetSubtypeCode
#include "plugin/HostContract.h"

class IPlugin {
public:
    virtual void SetHost(IHostContext* pHost) = 0;
    virtual IHostContext* GetHost() = 0;
    virtual int GetTypeCode() = 0;

protected:
    ~IPlugin() = default;
    IHostContext* m_pHost = nullptr;  // the only data of the interface part
};

class ICommandPlugin : public IPlugin {
public:
    virtual bool Execute() = 0;

protected:
    ~ICommandPlugin() = default;
};

class IDatabasePlugin : public ICommandPlugin {
public:
    virtual int GetSubtypeCode() = 0;

protected:
    ~IDatabasePlugin() = default;
};
