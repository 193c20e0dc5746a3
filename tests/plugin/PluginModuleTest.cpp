#include "host/PluginLoader.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace {

CString PluginPath()
{
    return PathBesideProgram(L"Sorvik.dll");
}

}  // namespace

TEST(PluginModule, InterfaceSlotsByPosition)
{
    CPluginModule plugin;
    CString error;
    ASSERT_TRUE(plugin.Load(PluginPath(), error)) << Narrow(error.Str());

    // The export hands out the same object every time.
    using GetInterfaceFn = void* (*)();
    const HMODULE module = ::GetModuleHandleW(PluginPath());
    const auto getInterface =
        reinterpret_cast<GetInterfaceFn>(reinterpret_cast<void*>(::GetProcAddress(module, "GetPluginInterface")));
    ASSERT_NE(nullptr, getInterface);
    EXPECT_EQ(plugin.Object(), getInterface());
    EXPECT_EQ(getInterface(), getInterface());

    EXPECT_EQ(4, plugin.GetTypeCode());
    EXPECT_EQ(3, plugin.GetSubtypeCode());
    EXPECT_EQ(nullptr, plugin.GetHost());
    int first = 0;
    int second = 0;
    plugin.SetHost(&first);
    EXPECT_EQ(&first, plugin.GetHost());
    plugin.SetHost(&second);
    EXPECT_EQ(&second, plugin.GetHost());
    EXPECT_EQ(4, plugin.GetTypeCode());
    EXPECT_EQ(3, plugin.GetSubtypeCode());
    plugin.SetHost(nullptr);
}
