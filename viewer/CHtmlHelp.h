// HTML Help, loaded at run time from hhctrl.ocx (the program imports nothing of it, so
// it starts where HTML Help is missing). Help windows are closed and the module freed
// when the object goes.
#pragma once
#include <windows.h>

class CHtmlHelp {
public:
    CHtmlHelp();
    ~CHtmlHelp();
    CHtmlHelp(const CHtmlHelp&) = delete;
    CHtmlHelp& operator=(const CHtmlHelp&) = delete;

    // Opens the default topic of help file lpszFile, owned by hWndCaller; the help
    // window, or null when it did not open (the last error then tells why when HTML
    // Help itself is missing).
    HWND DisplayTopic(HWND hWndCaller, LPCWSTR lpszFile);

private:
    typedef HWND(WINAPI* HtmlHelpFunc)(HWND hWndCaller, LPCWSTR pszFile, UINT uCommand, DWORD_PTR dwData);
    HtmlHelpFunc Function();

    HMODULE m_hModule;
    HtmlHelpFunc m_pHtmlHelp;
};
