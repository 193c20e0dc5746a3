#pragma once
// CWinApp: the module's application object. Constructing it makes it the
// application of the module it is linked into.
#include "framework/CmdTarget.h"
#include "framework/DynamicString.h"

class CWinApp : public CCmdTarget {
public:
    // With no name, the module's file title serves as the application name.
    explicit CWinApp(LPCWSTR lpszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();

    LPCWSTR m_pszAppName = nullptr;

protected:
    DECLARE_MESSAGE_MAP()

private:
    CString m_strAppName;
};

// The application message box: the application's name as its caption, no
// owner window, so that the windows of other threads stay usable meanwhile.
int AfxMessageBox(LPCWSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
