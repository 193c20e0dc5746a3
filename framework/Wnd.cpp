#include "framework/Wnd.h"

IMPLEMENT_DYNAMIC(CWnd, CObject)

int CWnd::GetDlgItemText(int nID, CString& rString) const
{
    const HWND hItem = GetDlgItem(nID);
    const int length = static_cast<int>(::SendMessageW(hItem, WM_GETTEXTLENGTH, 0, 0));
    if (length <= 0) {
        rString = CString();
        return 0;
    }
    LPWSTR buffer = rString.GetBufferSetLength(length);
    const int copied = static_cast<int>(
        ::SendMessageW(hItem, WM_GETTEXT, static_cast<WPARAM>(length) + 1, reinterpret_cast<LPARAM>(buffer)));
    rString.ReleaseBuffer(copied >= 0 && copied <= length ? copied : 0);
    return rString.GetLength();
}

void CWnd::SetDlgItemText(int nID, LPCWSTR lpszString) const
{
    ::SendMessageW(GetDlgItem(nID), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpszString));
}

void CWnd::EnableDlgItem(int nID, BOOL bEnable) const
{
    ::EnableWindow(GetDlgItem(nID), bEnable);
}

UINT CWnd::IsDlgButtonChecked(int nID) const
{
    return static_cast<UINT>(SendDlgItemMessage(nID, BM_GETCHECK));
}

void CWnd::CheckDlgButton(int nID, UINT nCheck) const
{
    SendDlgItemMessage(nID, BM_SETCHECK, nCheck);
}
