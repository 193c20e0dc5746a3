#include "bench/BareLoops.h"

#include <aclapi.h>
#include <bcrypt.h>
#include <commctrl.h>
#include <winternl.h>

#include <atomic>
#include <charconv>
#include <cstdio>
#include <cwchar>
#include <ctime>
#include <thread>
#include <vector>

namespace {

// The walk asks each sub-folder's file index before it enters it, to know a
// folder met again through a link or a mount.
void AskFolderIndex(const std::wstring& folder)
{
    const HANDLE handle = ::CreateFileW((L"\\\\?\\" + folder).c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    IO_STATUS_BLOCK status;
    FILE_INTERNAL_INFORMATION info;
    ::NtQueryInformationFile(handle, &status, &info, sizeof info, FileInternalInformation);
    ::CloseHandle(handle);
}

}  // namespace

void BareEnumerate(const std::wstring& folder,
                   const std::function<void(const std::wstring&, const WIN32_FIND_DATAW&)>& file)
{
    WIN32_FIND_DATAW data;
    // The walk's paths are in the form that the system takes as it is.
    const HANDLE search = ::FindFirstFileExW((L"\\\\?\\" + folder + L"\\*.*").c_str(), FindExInfoBasic, &data,
                                             FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const wchar_t* name = data.cFileName;
        if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)))
            continue;
        const std::wstring path = folder + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            AskFolderIndex(path);
            BareEnumerate(path, file);
        } else {
            file(path, data);
        }
    } while (::FindNextFileW(search, &data));
    ::FindClose(search);
}

bool BareOwner(const std::wstring& path)
{
    const HANDLE file = ::CreateFileW((L"\\\\?\\" + path).c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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

bool BareSha256(const std::wstring& path, unsigned char (&digest)[32])
{
    static BCRYPT_ALG_HANDLE algorithm = nullptr;
    static ULONG objectSize = 0;
    static std::vector<UCHAR> object;
    static std::vector<UCHAR> block(1 << 20);
    ULONG written = 0;
    if (!algorithm) {
        ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
        ::BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectSize), sizeof objectSize,
                            &written, 0);
        object.resize(objectSize);
    }
    const HANDLE file = ::CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool hashed = false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (::GetFileType(file) == FILE_TYPE_DISK &&
        ::BCryptCreateHash(algorithm, &hash, object.data(), objectSize, nullptr, 0, 0) >= 0) {
        DWORD read = 0;
        while (::ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &read, nullptr) && read != 0)
            ::BCryptHashData(hash, block.data(), read, 0);
        hashed = ::BCryptFinishHash(hash, digest, 32, 0) >= 0;
        ::BCryptDestroyHash(hash);
    }
    ::CloseHandle(file);
    return hashed;
}

const wchar_t kBenchTemplate[] =
    L"INSERT INTO files (title, path, attributes, length) VALUES ('{FileTitle}', '{FilePath}', '{AllAttributes}', "
    L"{FileLength})";

namespace {

// The name up to its last dot.
size_t TitleLength(const wchar_t* name)
{
    const wchar_t* dot = wcsrchr(name, L'.');
    return dot ? static_cast<size_t>(dot - name) : wcslen(name);
}

// A letter an attribute in the template's order, capital when set.
void AttributeLetters(DWORD attributes, wchar_t (&letters)[7])
{
    const DWORD bits[] = {FILE_ATTRIBUTE_ARCHIVE,  FILE_ATTRIBUTE_COMPRESSED, FILE_ATTRIBUTE_HIDDEN,
                          FILE_ATTRIBUTE_NORMAL,   FILE_ATTRIBUTE_READONLY,   FILE_ATTRIBUTE_SYSTEM,
                          FILE_ATTRIBUTE_TEMPORARY};
    const wchar_t set[] = L"ACHNRST";
    for (int i = 0; i < 7; ++i)
        letters[i] = (attributes & bits[i]) ? set[i] : static_cast<wchar_t>(set[i] - L'A' + L'a');
}

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
    std::wstring s = L"INSERT INTO files (title, path, attributes, length) VALUES ('";
    AppendQuoted(s, data.cFileName, TitleLength(data.cFileName));
    s += L"', '";
    AppendQuoted(s, path.c_str(), path.size());
    s += L"', '";
    wchar_t letters[7];
    AttributeLetters(data.dwFileAttributes, letters);
    s.append(letters, 7);
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

namespace {

// One CSV field of text in UTF-8, quoted (its quotes doubled) when it holds
// a quote, a comma, a CR or a LF.
void AppendCsvText(std::string& out, const wchar_t* text, size_t length)
{
    const size_t start = out.size();
    out.resize(start + 3 * length);  // at most three bytes a UTF-16 unit
    out.resize(start + static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length),
                                                                  &out[start], static_cast<int>(3 * length),
                                                                  nullptr, nullptr)));
    if (out.find_first_of("\",\r\n", start) == std::string::npos)
        return;
    const std::string field = out.substr(start);
    out.resize(start);
    out += '"';
    for (const char c : field) {
        out += c;
        if (c == '"')
            out += '"';
    }
    out += '"';
}

void AppendDigits(std::string& out, unsigned long long value)
{
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// Local time as "%H:%M:%S %d.%m.%Y".
void AppendLocalTime(std::string& out, const FILETIME& time)
{
    const long long ticks = static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                                   time.dwLowDateTime);
    const __time64_t seconds = ticks / 10000000 - 11644473600LL;
    struct tm local = {};
    if (_localtime64_s(&local, &seconds) != 0)
        return;
    const int fields[] = {local.tm_hour, local.tm_min, local.tm_sec, local.tm_mday, local.tm_mon + 1};
    const char after[] = ":: ..";
    for (int i = 0; i < 5; ++i) {
        out += static_cast<char>('0' + fields[i] / 10 % 10);
        out += static_cast<char>('0' + fields[i] % 10);
        out += after[i];
    }
    AppendDigits(out, static_cast<unsigned long long>(local.tm_year + 1900));
}

// UTC as "2023-10-29T01:30:00.1234567"; nothing for a zero time or one past the year 9999.
void AppendUtcTime(std::string& out, const FILETIME& time)
{
    const unsigned long long ticks = (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    SYSTEMTIME utc;
    if (ticks == 0 || ticks >= 2650467744000000000ULL || !::FileTimeToSystemTime(&time, &utc))
        return;
    char text[32];
    out.append(text, static_cast<size_t>(std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%07u",
                                                       utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute,
                                                       utc.wSecond, static_cast<unsigned>(ticks % 10000000))));
}

void AppendCsvLine(std::string& out, std::wstring& url, const std::wstring& path, const WIN32_FIND_DATAW& data)
{
    AppendCsvText(out, data.cFileName, TitleLength(data.cFileName));
    out += ',';
    AppendCsvText(out, path.c_str(), path.size());
    out += ',';
    url.assign(L"file://").append(path);
    AppendCsvText(out, url.c_str(), url.size());
    for (const FILETIME& time : {data.ftCreationTime, data.ftLastAccessTime, data.ftLastWriteTime}) {
        out += ',';
        AppendLocalTime(out, time);
    }
    wchar_t letters[7];
    AttributeLetters(data.dwFileAttributes, letters);
    for (const wchar_t letter : letters) {
        out += ',';
        out += static_cast<char>(letter);
    }
    out += ',';
    for (const wchar_t letter : letters)
        out += static_cast<char>(letter);
    out += ',';
    AppendDigits(out, (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    out += ',';  // the owner, not looked up, is empty
    for (const FILETIME& time : {data.ftCreationTime, data.ftLastAccessTime, data.ftLastWriteTime}) {
        out += ',';
        AppendUtcTime(out, time);
    }
    out += ",\r\n";  // the hash, not asked for, is empty
}

}  // namespace

bool BareCsvListing(const std::wstring& folder, HANDLE file)
{
    constexpr size_t kChunk = 64 * 1024;
    std::string text;
    text.reserve(kChunk + 4096);
    text = "FileTitle,FilePath,FileUrl,CreateTime,AccessTime,WriteTime,ArchivedAttribute,CompressedAttribute,"
           "HiddenAttribute,NormalAttribute,ReadOnlyAttribute,SystemAttribute,TemporaryAtribbute,AllAttributes,"
           "FileLength,FileOwner,CreateTimeUtc,AccessTimeUtc,WriteTimeUtc,FileSha256\r\n";
    bool written = true;
    const auto write = [&](size_t size) {
        DWORD done = 0;
        written = ::WriteFile(file, text.data(), static_cast<DWORD>(size), &done, nullptr) && done == size && written;
        text.erase(0, size);
    };
    std::wstring url;
    BareEnumerate(folder, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        AppendCsvLine(text, url, path, data);
        if (text.size() >= kChunk)
            write(kChunk);
    });
    write(text.size());
    return written;
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
