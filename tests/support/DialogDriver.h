#pragma once
// Drives the real scanner dialog from a second thread, the way a user would,
// by messages: finds it, types, clicks, reads the list back, answers boxes.
// Every wait polls with a deadline.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class DialogDriver {
public:
    explicit DialogDriver(DWORD dialogThreadId) : m_dialogThreadId(dialogThreadId) {}

    // Waits until the dialog is shown and its controls exist.
    bool WaitForDialog();
    HWND Dialog() const { return m_hDialog; }
    bool DialogExists() const { return m_hDialog && ::IsWindow(m_hDialog); }

    void SetText(int id, const std::wstring& text) const;
    std::wstring GetText(int id) const;
    void Click(int id) const;  // as a mouse click: flips check boxes and notifies
    void ClickWithoutWaiting(int id) const;  // for a click whose handler shows a box
    // Starts a walk of folder that writes every file, owner included, with
    // the sample host's template for its files table.
    void StartWritingEveryFact(const std::wstring& folder) const;
    bool IsEnabled(int id) const;
    bool IsChecked(int id) const;

    std::vector<std::wstring> ColumnTitles() const;
    int RowCount() const;
    bool RowWhollyVisible(int row) const;
    int ColumnWidth(int column) const;
    int ColumnWidthsTotal() const;
    int TextWidth(const std::wstring& text) const;  // in the list's font
    int ListClientWidth() const;
    std::vector<std::vector<std::wstring>> Rows() const;

    // A message box of this process other than the dialog, or null.
    HWND FindMessageBox() const;
    HWND WaitForMessageBox(DWORD timeoutMs = 10000) const;
    static std::wstring MessageBoxText(HWND box);
    static void Answer(HWND box, int buttonId);

    void PressKey(int id, WPARAM key) const;  // a key press on a control
    void PressCloseBox() const;

    // The first top-level window that match accepts, or null.
    static HWND FindTopWindow(const std::function<bool(HWND)>& match);
    // Polls condition until true or the time is up; returns the last result.
    static bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000);
    bool WaitForWalkEnd(DWORD timeoutMs = 30000) const;
    // True once the Execute that shows this dialog has returned.
    bool ExecuteReturned() const;

private:
    DWORD m_dialogThreadId;
    HWND m_hDialog = nullptr;
};

// Runs the plug-in's Execute on this thread while scenario drives the dialog
// from another. Whatever the scenario leaves open is cancelled, so a failing
// scenario cannot hang the test. Returns Execute's result.
bool ExecuteDriven(const std::function<bool()>& execute, const std::function<void(DialogDriver&)>& scenario);

class CDatabase;
class CPluginModule;
// Executes the plug-in as the sample host does, with this database (or none),
// while scenario drives the dialog.
bool ExecuteWithDatabase(const CPluginModule& plugin, CDatabase* db,
                         const std::function<void(DialogDriver&)>& scenario);
