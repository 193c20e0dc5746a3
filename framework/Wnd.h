#pragma once
// CWnd: a window handle and the dialog-manager operations on its children.
// It owns nothing: wrapping a control never destroys it. Every operation is a
// message or a call that Windows routes to the window's own thread, so a
// worker may use them on the dialog's controls.
#include "framework/CmdTarget.h"
#include "framework/DynamicString.h"

class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)
public:
    CWnd() = default;
    explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }

    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendDlgItemMessageW(m_hWnd, nID, message, wParam, lParam);
    }
    // The whole text of a child, read with WM_GETTEXTLENGTH and WM_GETTEXT.
    int GetDlgItemText(int nID, CString& rString) const;
    void SetDlgItemText(int nID, LPCWSTR lpszString) const;
    void EnableDlgItem(int nID, BOOL bEnable) const;
    UINT IsDlgButtonChecked(int nID) const;
    void CheckDlgButton(int nID, UINT nCheck) const;

    HWND m_hWnd = nullptr;
};
