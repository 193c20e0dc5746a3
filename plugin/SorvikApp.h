#pragma once
// The module's single application object, carrying the plug-in interface.
#include "framework/WinApp.h"
#include "plugin/PluginInterfaces.h"

class CSorvikApp : public CWinApp, public IDatabasePlugin {
public:
    CSorvikApp();

    BOOL InitInstance() override;

    void SetHost(IHostContext* pHost) override;
    IHostContext* GetHost() override;
    int GetTypeCode() override;
    bool Execute() override;
    int GetSubtypeCode() override;

    DECLARE_MESSAGE_MAP()
};

extern CSorvikApp theApp;

extern "C" __declspec(dllexport) IDatabasePlugin* GetPluginInterface();
