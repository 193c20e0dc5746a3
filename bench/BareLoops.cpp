#include "bench/BareLoops.h"

#include <aclapi.h>
#include <commctrl.h>

#include <atomic>
#include <cwchar>
#include <thread>

void BareEnumerate(const std::wstring& folder,
                   const std::function<void(const std::wstring&, const WIN32_FIND_DATAW&)>& file)
{
    WIN32_FIND_DATAW data;
    const HANDLE search = ::FindFirstFileExW((folder + L"\\*.*").c_str(), FindExInfoBasic, &data,
                                             FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const wchar_t* name = data.cFileName;
        if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)))
            continue;
        const std::wstring path = folder + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            BareEnumerate(path, file);
        else
            file(path, data);
    } while (::FindNextFileW(search, &data));
    ::FindClose(search);
}

bool BareOwner(const std::wstring& path)
{
    const HANDLE file = ::CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool found = false;
    if (::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) == ERROR_SUCCESS) {
        wchar_t probe[1];
        DWORD nameCount = 1;
        DWORD domainCount = 1;
        SID_NAME_USE use;
        ::LookupAccountSidW(nullptr, owner, probe, &nameCount, probe, &domainCount, &use);
        wchar_t name[256];
        wchar_t domain[256];
        nameCount = 256;
        domainCount = 256;
        found = ::LookupAccountSidW(nullptr, owner, name, &nameCount, domain, &domainCount, &use) != FALSE;
    }
    ::CloseHandle(file);
    ::LocalFree(descriptor);
    return found;
}

const wchar_t kBenchTemplate[] =
    L"INSERT INTO files (title, path, attributes, length) VALUES ('{FileTitle}', '{FilePath}', '{AllAttributes}', "
    L"{FileLength})";

namespace {

void AppendQuoted(std::wstring& out, const wchar_t* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        out += text[i];
        if (text[i] == L'\'')
            out += L'\'';
    }
}

}  // namespace

std::wstring BareStatement(const std::wstring& path, const WIN32_FIND_DATAW& data)
{
    const wchar_t* name = data.cFileName;
    const wchar_t* dot = wcsrchr(name, L'.');
    std::wstring s = L"INSERT INTO files (title, path, attributes, length) VALUES ('";
    AppendQuoted(s, name, dot ? static_cast<size_t>(dot - name) : wcslen(name));
    s += L"', '";
    AppendQuoted(s, path.c_str(), path.size());
    s += L"', '";
    const DWORD bits[] = {FILE_ATTRIBUTE_ARCHIVE,  FILE_ATTRIBUTE_COMPRESSED, FILE_ATTRIBUTE_HIDDEN,
                          FILE_ATTRIBUTE_NORMAL,   FILE_ATTRIBUTE_READONLY,   FILE_ATTRIBUTE_SYSTEM,
                          FILE_ATTRIBUTE_TEMPORARY};
    const wchar_t letters[] = L"ACHNRST";
    for (int i = 0; i < 7; ++i)
        s += (data.dwFileAttributes & bits[i]) ? letters[i] : static_cast<wchar_t>(letters[i] - L'A' + L'a');
    s += L"', ";
    s += std::to_wstring((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    s += L")";
    return s;
}

bool BareExecute(CDatabase& db, const std::wstring& statement)
{
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SqlSucceeded(::SQLAllocHandle(SQL_HANDLE_STMT, db.m_hdbc, &stmt)))
        return false;
    const bool done = SqlSucceeded(
        ::SQLExecDirectW(stmt, const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(statement.c_str())), SQL_NTS));
    ::SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return done;
}

double BareListWalk(const std::wstring& folder)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    const HWND frame = ::CreateWindowExW(0, L"#32770", L"bare", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 660, 450,
                                         nullptr, nullptr, nullptr, nullptr);
    // About the size of the dialog's list (316 by 166 dialog units).
    const HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"",
                                        WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_NOSORTHEADER,
                                        10, 100, 474, 270, frame, nullptr, nullptr, nullptr);
    const wchar_t* titles[] = {L"File Name", L"Date Created", L"Size", L"Attributes", L"Owner"};
    for (int i = 0; i < 5; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_FMT;
        column.pszText = const_cast<LPWSTR>(titles[i]);
        ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    // Columns as wide as their titles, as a fresh dialog has them: the
    // painting a row costs depends on what is visible.
    const auto sizeColumns = [list] {
        for (int column = 0;; ++column) {
            const HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
            if (column >= ::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0))
                break;
            ::SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column),
                           MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
        }
    };
    sizeColumns();

    LARGE_INTEGER start = {};
    LARGE_INTEGER end = {};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        ::QueryPerformanceCounter(&start);
        BareEnumerate(folder, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
            item.pszText = const_cast<LPWSTR>(path.c_str());
            const LRESULT index = ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
            const std::wstring size = std::to_wstring(data.nFileSizeLow);
            const wchar_t* cells[] = {L"13:06:10 07.12.2026", size.c_str(), L"Achnrst"};
            for (int sub = 1; sub <= 3; ++sub) {
                LVITEMW cell = {};
                cell.iSubItem = sub;
                cell.pszText = const_cast<LPWSTR>(cells[sub - 1]);
                ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&cell));
            }
            ::SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
        });
        sizeColumns();
        ::QueryPerformanceCounter(&end);
        finished = true;
        ::PostMessageW(frame, WM_NULL, 0, 0);
    });
    MSG msg;
    while (!finished && ::GetMessageW(&msg, nullptr, 0, 0)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    worker.join();
    ::DestroyWindow(frame);
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}
