#pragma once
// Windows tells a program that has the user interface library loaded (ODBC
// loads it) of a log-off or a shut-down by window messages, not through its
// console handler. A hidden window on a thread of its own hears them.
#include <windows.h>

class CSessionEndWatch {
public:
    // The window's class name, by which it can be found.
    static const wchar_t kClassName[];

    // onEnd runs on the watch's thread when the session ends; Windows may end
    // the process as soon as it returns. Without a thread or a window,
    // nothing is watched.
    explicit CSessionEndWatch(void (*onEnd)());
    ~CSessionEndWatch();
    CSessionEndWatch(const CSessionEndWatch&) = delete;
    CSessionEndWatch& operator=(const CSessionEndWatch&) = delete;

private:
    static DWORD WINAPI ThreadProc(LPVOID pParam);                           // watch thread
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);          // watch thread

    DWORD m_threadId = 0;
    HANDLE m_thread;
};
