#include "host/PluginLoader.h"

#include <string>

bool CPluginModule::Load(LPCWSTR path, CString& error)
{
    m_module.Reset(::LoadLibraryW(path));
    if (!m_module) {
        error = CString((L"Cannot load " + std::wstring(path) + L" (error " + std::to_wstring(::GetLastError()) + L")")
                            .c_str());
        return false;
    }
    using GetPluginInterfaceFn = void* (*)();
    const auto getInterface = reinterpret_cast<GetPluginInterfaceFn>(
        reinterpret_cast<void*>(::GetProcAddress(m_module.Get(), "GetPluginInterface")));
    if (!getInterface) {
        error = CString((std::wstring(path) + L" exports no GetPluginInterface").c_str());
        return false;
    }
    m_pObject = getInterface();
    if (!m_pObject) {
        error = L"GetPluginInterface returned no interface";
        return false;
    }
    return true;
}

CString PathBesideProgram(LPCWSTR fileName)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.resize(path.find_last_of(L"\\/") + 1);
    return CString((path + fileName).c_str());
}
