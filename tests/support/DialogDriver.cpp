#include "support/DialogDriver.h"

#include "dialog/resource.h"
#include "framework/ListCtrl.h"
#include "host/PluginLoader.h"
#include "host/SampleDatabase.h"

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

// A text the list copies into the buffer that the query structure names.
template <class Query>
std::wstring ReadListText(const CListCtrl& list, UINT message, int index, Query query)
{
    wchar_t buffer[1024] = {};
    query.pszText = buffer;
    query.cchTextMax = 1024;
    list.SendMessage(message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&query));
    return buffer;
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
    CWnd(m_hDialog).SetDlgItemText(id, text.c_str());
}

std::wstring DialogDriver::GetText(int id) const
{
    CString text;
    CWnd(m_hDialog).GetDlgItemText(id, text);
    return text.Str();
}

void DialogDriver::Click(int id) const
{
    ::SendMessageW(::GetDlgItem(m_hDialog, id), BM_CLICK, 0, 0);
}

void DialogDriver::ClickWithoutWaiting(int id) const
{
    ::PostMessageW(::GetDlgItem(m_hDialog, id), BM_CLICK, 0, 0);
}

void DialogDriver::StartWritingEveryFact(const std::wstring& folder) const
{
    SetText(IDC_SQL, kFilesInsertTemplate);
    Click(IDC_SHOW_OWNER);
    Click(IDC_WRITE_TO_DATABASE);
    SetText(IDC_FOLDER, folder);
    Click(IDC_START);
}

bool DialogDriver::IsEnabled(int id) const
{
    return ::IsWindowEnabled(::GetDlgItem(m_hDialog, id)) != FALSE;
}

bool DialogDriver::IsChecked(int id) const
{
    return CWnd(m_hDialog).IsDlgButtonChecked(id) == BST_CHECKED;
}

std::vector<std::wstring> DialogDriver::ColumnTitles() const
{
    const CListCtrl list(::GetDlgItem(m_hDialog, IDC_RESULT_LIST));
    const int count = CHeaderCtrl(list.GetHeaderCtrl()).GetItemCount();
    std::vector<std::wstring> titles;
    for (int i = 0; i < count; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT;
        titles.push_back(ReadListText(list, LVM_GETCOLUMNW, i, column));
    }
    return titles;
}

int DialogDriver::RowCount() const
{
    return CListCtrl(::GetDlgItem(m_hDialog, IDC_RESULT_LIST)).GetItemCount();
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

int DialogDriver::ColumnWidth(int column) const
{
    return static_cast<int>(
        ::SendDlgItemMessageW(m_hDialog, IDC_RESULT_LIST, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

int DialogDriver::ColumnWidthsTotal() const
{
    const CListCtrl list(::GetDlgItem(m_hDialog, IDC_RESULT_LIST));
    const int count = CHeaderCtrl(list.GetHeaderCtrl()).GetItemCount();
    int total = 0;
    for (int column = 0; column < count; ++column)
        total += ColumnWidth(column);
    return total;
}

int DialogDriver::TextWidth(const std::wstring& text) const
{
    return static_cast<int>(
        ::SendDlgItemMessageW(m_hDialog, IDC_RESULT_LIST, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

int DialogDriver::ListClientWidth() const
{
    RECT client = {};
    ::GetClientRect(::GetDlgItem(m_hDialog, IDC_RESULT_LIST), &client);
    return client.right;
}

std::vector<std::vector<std::wstring>> DialogDriver::Rows() const
{
    const CListCtrl list(::GetDlgItem(m_hDialog, IDC_RESULT_LIST));
    std::vector<std::vector<std::wstring>> rows;
    const int count = list.GetItemCount();
    for (int item = 0; item < count; ++item) {
        std::vector<std::wstring> cells;
        for (int sub = 0; sub < 5; ++sub) {
            LVITEMW cell = {};
            cell.iSubItem = sub;
            cells.push_back(ReadListText(list, LVM_GETITEMTEXTW, item, cell));
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

bool ExecuteWithDatabase(const CPluginModule& plugin, CDatabase* db,
                         const std::function<void(DialogDriver&)>& scenario)
{
    CSampleHost host(db);
    plugin.SetHost(&host);
    return ExecuteDriven([&plugin] { return plugin.Execute(); }, scenario);
}
