#include "support/DialogDriver.h"

#include "dialog/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

std::atomic<bool> g_executeReturned{false};

BOOL CALLBACK MatchWindowProc(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<std::pair<const std::function<bool(HWND)>*, HWND>*>(lParam);
    if (!(*search->first)(hWnd))
        return TRUE;
    search->second = hWnd;
    return FALSE;
}

bool IsDialogClass(HWND hWnd)
{
    wchar_t className[16] = {};
    ::GetClassNameW(hWnd, className, 16);
    return wcscmp(className, L"#32770") == 0;
}

}  // namespace

bool DialogDriver::WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount() - start > timeoutMs)
            return condition();
        ::Sleep(2);
    }
}

HWND DialogDriver::FindTopWindow(const std::function<bool(HWND)>& match)
{
    std::pair<const std::function<bool(HWND)>*, HWND> search{&match, nullptr};
    ::EnumWindows(&MatchWindowProc, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

bool DialogDriver::WaitForDialog()
{
    return WaitUntil([this] {
        m_hDialog = FindTopWindow([this](HWND hWnd) {
            return ::GetWindowThreadProcessId(hWnd, nullptr) == m_dialogThreadId && ::IsWindowVisible(hWnd) &&
                   ::GetDlgItem(hWnd, IDC_FOLDER) && ::GetDlgItem(hWnd, IDC_START);
        });
        return m_hDialog != nullptr;
    });
}

void DialogDriver::SetText(int id, const std::wstring& text) const
{
    ::SendMessageW(::GetDlgItem(m_hDialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring DialogDriver::GetText(int id) const
{
    const HWND hItem = ::GetDlgItem(m_hDialog, id);
    const int length = static_cast<int>(::SendMessageW(hItem, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::SendMessageW(hItem, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    return text;
}

void DialogDriver::Click(int id) const
{
    ::SendMessageW(::GetDlgItem(m_hDialog, id), BM_CLICK, 0, 0);
}

void DialogDriver::ClickWithoutWaiting(int id) const
{
    ::PostMessageW(::GetDlgItem(m_hDialog, id), BM_CLICK, 0, 0);
}

bool DialogDriver::IsEnabled(int id) const
{
    return ::IsWindowEnabled(::GetDlgItem(m_hDialog, id)) != FALSE;
}

bool DialogDriver::IsChecked(int id) const
{
    return ::SendMessageW(::GetDlgItem(m_hDialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::vector<std::wstring> DialogDriver::ColumnTitles() const
{
    const HWND hList = ::GetDlgItem(m_hDialog, IDC_RESULT_LIST);
    const HWND hHeader = reinterpret_cast<HWND>(::SendMessageW(hList, LVM_GETHEADER, 0, 0));
    const int count = static_cast<int>(::SendMessageW(hHeader, HDM_GETITEMCOUNT, 0, 0));
    std::vector<std::wstring> titles;
    for (int i = 0; i < count; ++i) {
        wchar_t buffer[256] = {};
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT;
        column.pszText = buffer;
        column.cchTextMax = 256;
        ::SendMessageW(hList, LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
        titles.push_back(buffer);
    }
    return titles;
}

int DialogDriver::RowCount() const
{
    return static_cast<int>(::SendMessageW(::GetDlgItem(m_hDialog, IDC_RESULT_LIST), LVM_GETITEMCOUNT, 0, 0));
}

bool DialogDriver::RowWhollyVisible(int row) const
{
    const HWND hList = ::GetDlgItem(m_hDialog, IDC_RESULT_LIST);
    RECT item = {};
    item.left = LVIR_BOUNDS;
    RECT client = {};
    ::GetClientRect(hList, &client);
    return ::SendMessageW(hList, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)) &&
           item.top >= 0 && item.bottom <= client.bottom;
}

int DialogDriver::ColumnWidthsTotal() const
{
    const HWND hList = ::GetDlgItem(m_hDialog, IDC_RESULT_LIST);
    int total = 0;
    for (int column = 0; column < static_cast<int>(ColumnTitles().size()); ++column)
        total += static_cast<int>(::SendMessageW(hList, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
    return total;
}

int DialogDriver::ListClientWidth() const
{
    RECT client = {};
    ::GetClientRect(::GetDlgItem(m_hDialog, IDC_RESULT_LIST), &client);
    return client.right;
}

std::vector<std::vector<std::wstring>> DialogDriver::Rows() const
{
    const HWND hList = ::GetDlgItem(m_hDialog, IDC_RESULT_LIST);
    std::vector<std::vector<std::wstring>> rows;
    const int count = RowCount();
    for (int item = 0; item < count; ++item) {
        std::vector<std::wstring> cells;
        for (int sub = 0; sub < 5; ++sub) {
            wchar_t buffer[1024] = {};
            LVITEMW lvi = {};
            lvi.iSubItem = sub;
            lvi.pszText = buffer;
            lvi.cchTextMax = 1024;
            ::SendMessageW(hList, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvi));
            cells.push_back(buffer);
        }
        rows.push_back(cells);
    }
    return rows;
}

HWND DialogDriver::FindMessageBox() const
{
    return FindTopWindow([this](HWND hWnd) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hWnd, &pid);
        return pid == ::GetCurrentProcessId() && hWnd != m_hDialog && ::IsWindowVisible(hWnd) &&
               IsDialogClass(hWnd) && !::GetDlgItem(hWnd, IDC_FOLDER);
    });
}

HWND DialogDriver::WaitForMessageBox(DWORD timeoutMs) const
{
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindMessageBox()) != nullptr; }, timeoutMs);
    return box;
}

std::wstring DialogDriver::MessageBoxText(HWND box)
{
    wchar_t buffer[4096] = {};
    ::SendMessageW(::GetDlgItem(box, 0xFFFF), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

void DialogDriver::Answer(HWND box, int buttonId)
{
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0);
}

void DialogDriver::PressKey(int id, WPARAM key) const
{
    const HWND hItem = ::GetDlgItem(m_hDialog, id);
    ::PostMessageW(hItem, WM_KEYDOWN, key, 1);
    ::PostMessageW(hItem, WM_KEYUP, key, 0xC0000001);
}

void DialogDriver::PressCloseBox() const
{
    ::PostMessageW(m_hDialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool DialogDriver::WaitForWalkEnd(DWORD timeoutMs) const
{
    return WaitUntil([this] { return !IsChecked(IDC_START); }, timeoutMs);
}

bool DialogDriver::ExecuteReturned() const
{
    return g_executeReturned;
}

bool ExecuteDriven(const std::function<bool()>& execute, const std::function<void(DialogDriver&)>& scenario)
{
    g_executeReturned = false;
    DialogDriver driver(::GetCurrentThreadId());
    std::thread user([&] {
        if (driver.WaitForDialog())
            scenario(driver);
        else
            ADD_FAILURE() << "the dialog did not appear";
        // Leave nothing open: answer stray boxes and cancel the dialog.
        DialogDriver::WaitUntil([&] {
            if (HWND box = driver.FindMessageBox()) {
                DialogDriver::Answer(box, IDNO);
                DialogDriver::Answer(box, IDOK);
            }
            if (driver.DialogExists())
                ::PostMessageW(driver.Dialog(), WM_COMMAND, IDCANCEL, 0);
            return !driver.DialogExists();
        }, 20000);
    });
    const bool result = execute();
    g_executeReturned = true;
    user.join();
    return result;
}
