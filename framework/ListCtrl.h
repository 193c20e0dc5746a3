#pragma once
// Non-owning wrappers of a list view and its header: every operation is one
// message to the control.
#include "framework/Wnd.h"

#include <commctrl.h>

class CHeaderCtrl : public CWnd {
public:
    using CWnd::CWnd;
    int GetItemCount() const { return static_cast<int>(SendMessage(HDM_GETITEMCOUNT)); }
};

class CListCtrl : public CWnd {
public:
    using CWnd::CWnd;
    // nWidth and nSubItem of -1 insert the column with its title and format only.
    int InsertColumn(int nCol, LPCWSTR lpszColumnHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1,
                     int nSubItem = -1) const;
    DWORD SetExtendedStyle(DWORD dwNewStyle) const
    {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, dwNewStyle));
    }
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    int InsertItem(const LVITEMW* pItem) const
    {
        return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(pItem)));
    }
    BOOL SetItemText(int nItem, int nSubItem, LPCWSTR lpszText) const;
    BOOL EnsureVisible(int nItem, BOOL bPartialOK) const
    {
        return static_cast<BOOL>(SendMessage(LVM_ENSUREVISIBLE, static_cast<WPARAM>(nItem), bPartialOK));
    }
    // The header is owned by the list; the wrapper only names it.
    HWND GetHeaderCtrl() const { return reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER)); }
    BOOL SetColumnWidth(int nCol, int cx) const
    {
        return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(nCol), MAKELPARAM(cx, 0)));
    }
};
