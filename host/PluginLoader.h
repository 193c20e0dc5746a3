#pragma once
// How a host reaches a Sorvik-style plug-in: load the DLL, call its one export,
// and call the interface's five slots by position through a plain table of
// function pointers, as a host built with any compiler would.
#include "framework/DynamicString.h"
#include "framework/UniqueHandle.h"

#if defined(__i386__) || defined(_M_IX86)
#define HOST_THISCALL __thiscall
#else
#define HOST_THISCALL
#endif

struct PluginVtable {
    void(HOST_THISCALL* SetHost)(void* self, void* hostContext);
    void*(HOST_THISCALL* GetHost)(void* self);
    int(HOST_THISCALL* GetTypeCode)(void* self);
    bool(HOST_THISCALL* Execute)(void* self);
    int(HOST_THISCALL* GetSubtypeCode)(void* self);
};

class CPluginModule {
public:
    // On failure returns false with a message in error.
    bool Load(LPCWSTR path, CString& error);

    void* Object() const { return m_pObject; }
    void SetHost(void* hostContext) const { Table()->SetHost(m_pObject, hostContext); }
    void* GetHost() const { return Table()->GetHost(m_pObject); }
    int GetTypeCode() const { return Table()->GetTypeCode(m_pObject); }
    bool Execute() const { return Table()->Execute(m_pObject); }
    int GetSubtypeCode() const { return Table()->GetSubtypeCode(m_pObject); }

private:
    const PluginVtable* Table() const { return *static_cast<const PluginVtable* const*>(m_pObject); }

    CModuleHandle m_module;
    void* m_pObject = nullptr;
};

// The path of a file beside the running program.
CString PathBesideProgram(LPCWSTR fileName);
