#include "CHtmlHelp.h"

namespace {
const WCHAR kModule[] = L"hhctrl.ocx";
const char kFunction[] = "HtmlHelpW";
const UINT kDisplayTopic = 0x0000;  // HH_DISPLAY_TOPIC
const UINT kCloseAll = 0x0012;      // HH_CLOSE_ALL
}  // namespace

CHtmlHelp::CHtmlHelp() : m_hModule(nullptr), m_pHtmlHelp(nullptr) {}

CHtmlHelp::~CHtmlHelp()
{
    if (m_pHtmlHelp != nullptr) {
        m_pHtmlHelp(nullptr, nullptr, kCloseAll, 0);
    }
    if (m_hModule != nullptr) {
        FreeLibrary(m_hModule);
    }
}

CHtmlHelp::HtmlHelpFunc CHtmlHelp::Function()
{
    if (m_pHtmlHelp == nullptr) {
        if (m_hModule == nullptr) {
            m_hModule = LoadLibraryW(kModule);
        }
        FARPROC pProc = (m_hModule != nullptr) ? GetProcAddress(m_hModule, kFunction) : nullptr;
        m_pHtmlHelp = reinterpret_cast<HtmlHelpFunc>(reinterpret_cast<void*>(pProc));
    }
    return m_pHtmlHelp;
}

HWND CHtmlHelp::DisplayTopic(HWND hWndCaller, LPCWSTR lpszFile)
{
    HtmlHelpFunc pHtmlHelp = Function();
    return (pHtmlHelp != nullptr) ? pHtmlHelp(hWndCaller, lpszFile, kDisplayTopic, 0) : nullptr;
}
