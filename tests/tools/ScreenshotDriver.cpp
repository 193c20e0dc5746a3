// Shows the dialog after a real walk, for the README's screenshot: walks the
// folder given on the command line with Show Results and Show Owner ticked,
// then creates the marker file and waits until it is removed.
// Usage: ScreenshotDriver FOLDER MARKER
#include "dialog/resource.h"
#include "host/PluginLoader.h"
#include "host/SampleDatabase.h"
#include "support/DialogDriver.h"

#include "framework/UniqueHandle.h"

#include <shellapi.h>

#include <cstdio>

int main()
{
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    const CLocalMemory argvMemory(argv);
    if (!argv || argc != 3) {
        fputs("usage: ScreenshotDriver FOLDER MARKER\n", stderr);
        return 2;
    }
    const std::wstring folder = argv[1];
    const std::wstring marker = argv[2];

    CPluginModule plugin;
    CString error;
    if (!plugin.Load(PathBesideProgram(L"Sorvik.dll"), error)) {
        fputs("cannot load Sorvik.dll\n", stderr);
        return 2;
    }
    CSampleHost host(nullptr);
    plugin.SetHost(&host);
    ExecuteDriven([&] { return plugin.Execute(); }, [&](DialogDriver& d) {
        d.SetText(IDC_FOLDER, folder);
        d.Click(IDC_SHOW_RESULTS);
        d.Click(IDC_SHOW_OWNER);
        d.Click(IDC_START);
        d.WaitForWalkEnd();
        ::CloseHandle(::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DialogDriver::WaitUntil([&] { return ::GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES; },
                                60000);
        d.PressKey(IDC_FOLDER, VK_ESCAPE);
    });
    return 0;
}
