#pragma once
// CFullPath: a path made full by its text alone, in the framework's style.
// Win32 normalises every plain path it is given: it drops a trailing dot
// (and, on Windows, a trailing space) from each name, so "dir." names "dir",
// and refuses a path longer than MAX_PATH. A path in the "\\?\" form is
// handed to the file system as it is, so the walk gives the system that form
// and shows people the plain one.
#include "framework/DynamicString.h"

class CFullPath {
public:
    // What the path starts with: "C:\", "\\server\share\", a device's
    // "\\?\name\" (which has no plain form), or nothing (no current
    // directory could be had).
    enum class RootKind { None, Drive, Share, Device };

    // Relative forms are completed from the current directory (of the drive
    // named, or the root of the current one), forward slashes become
    // backslashes, "." and ".." are resolved as text (".." stops at the
    // root), and names keep their trailing dots and spaces. A "\\?\" or
    // "\\.\" path of a drive or share comes back in its plain form.
    explicit CFullPath(LPCWSTR path);

    // "C:\dir.\f.txt", "\\server\share\f.txt"; a bare root ends in a backslash.
    const CString& GetPath() const { return m_strPath; }
    // The folder above the last name; a root keeps its backslash ("C:\").
    CString GetFolder() const;
    // The form the system takes as it is: "\\?\C:\dir.\f.txt",
    // "\\?\UNC\server\share\f.txt".
    CString GetExtendedPath() const;
    RootKind GetRootKind() const { return m_kind; }
    // How many characters of GetPath() the root takes.
    int GetRootLength() const { return m_nRootLength; }

private:
    CString m_strPath;
    int m_nRootLength = 0;
    RootKind m_kind = RootKind::None;
};
