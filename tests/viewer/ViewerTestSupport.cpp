#include "ViewerTestSupport.h"

#include <gdiplus.h>

#include <cwchar>

namespace viewertest {

namespace {

const DWORD kMessageTimeout = 5000;
const int kMaxTextChars = 4096;
// Time the window gets to paint after being brought to the top.
const DWORD kPaintSettle = 300;

// Where a screenshot named lpName (".png" added) goes: the build folder's screenshots
// folder, created when missing.
std::wstring ScreenshotPath(const wchar_t* lpName)
{
    const std::wstring dir = integ::ProgramPath(L"..\\screenshots");  // the programs lie in the build's bin
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\" + lpName + L".png";
}

}  // namespace

HWND WaitForProcessWindow(DWORD dwProcessId, const wchar_t* lpClass, DWORD dwTimeoutMs)
{
    HWND hWnd = nullptr;
    pipetest::WaitUntil([&] { return (hWnd = FindProcessWindow(dwProcessId, lpClass)) != nullptr; }, dwTimeoutMs);
    return hWnd;
}

HWND FindControl(HWND hParent, int nId, const wchar_t* lpClass)
{
    for (HWND hChild = GetWindow(hParent, GW_CHILD); hChild != nullptr; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        wchar_t szClass[256] = {};
        if (GetDlgCtrlID(hChild) == nId &&
            (lpClass == nullptr || (GetClassNameW(hChild, szClass, ARRAYSIZE(szClass)) && !wcscmp(szClass, lpClass)))) {
            return hChild;
        }
        HWND hFound = FindControl(hChild, nId, lpClass);
        if (hFound != nullptr) {
            return hFound;
        }
    }
    return nullptr;
}

std::wstring WindowText(HWND hWnd)
{
    std::vector<wchar_t> buffer(kMaxTextChars, L'\0');
    DWORD_PTR dwResult = 0;
    SendMessageTimeoutW(hWnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                        kMessageTimeout, &dwResult);
    return buffer.data();  // empty when the window did not answer
}

RECT ClientInCapture(HWND hWnd, HWND hTop)
{
    RECT rc = {};
    GetClientRect(hWnd, &rc);
    MapWindowPoints(hWnd, hTop, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

bool CViewer::Start(const std::vector<std::wstring>& env, const std::wstring& exe)
{
    return m_process.StartProgram(exe.empty() ? integ::ProgramPath(L"quoviewer.exe") : exe, {}, env);
}

HWND CViewer::WaitForMainWindow(DWORD dwTimeoutMs)
{
    bool bReady = pipetest::WaitUntil(
        [&] {
            m_hMain = FindProcessWindow(m_process.Id(), kMainWindowClass);
            // The panes exist once the tab control has its five tabs.
            HWND hTab = (m_hMain != nullptr) ? GetDlgItem(m_hMain, kIdTab) : nullptr;
            return hTab != nullptr && SendMessageW(hTab, 0x1304 /* TCM_GETITEMCOUNT */, 0, 0) == 5 &&
                   IsWindowVisible(m_hMain);
        },
        dwTimeoutMs);
    return bReady ? m_hMain : nullptr;
}

void CViewer::Click(int nId)
{
    HWND hButton = Control(nId);
    ASSERT_NE(nullptr, hButton) << "no control " << nId;
    DWORD_PTR dwResult = 0;
    EXPECT_NE(0, SendMessageTimeoutW(hButton, BM_CLICK, 0, 0, SMTO_NORMAL, integ::kWait, &dwResult));
}

DWORD CViewer::Close(DWORD dwTimeoutMs)
{
    if (m_hMain != nullptr) {
        PostMessageW(m_hMain, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    return m_process.Wait(dwTimeoutMs);
}

bool CCapture::Grab(HWND hWnd)
{
    RECT rc = {};
    if (!IsWindow(hWnd) || !GetClientRect(hWnd, &rc)) {
        return false;
    }
    MapWindowPoints(hWnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
    SetWindowPos(hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    Sleep(kPaintSettle);
    m_nWidth = rc.right - rc.left;
    m_nHeight = rc.bottom - rc.top;
    if (m_nWidth <= 0 || m_nHeight <= 0) {
        return false;
    }
    BITMAPINFO bmi = {{sizeof(BITMAPINFOHEADER), m_nWidth, -m_nHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};  // top-down
    HDC hScreen = GetDC(nullptr);
    HDC hMem = CreateCompatibleDC(hScreen);
    void* lpBits = nullptr;
    HBITMAP hDib = CreateDIBSection(hScreen, &bmi, DIB_RGB_COLORS, &lpBits, nullptr, 0);
    bool bOk = false;
    if (hMem != nullptr && hDib != nullptr) {
        HGDIOBJ hOld = SelectObject(hMem, hDib);
        bOk = BitBlt(hMem, 0, 0, m_nWidth, m_nHeight, hScreen, rc.left, rc.top, SRCCOPY) != FALSE;
        GdiFlush();
        const DWORD* lpPixels = static_cast<const DWORD*>(lpBits);
        m_pixels.assign(lpPixels, lpPixels + static_cast<size_t>(m_nWidth) * m_nHeight);
        SelectObject(hMem, hOld);
    }
    DeleteObject(hDib);  // both ignore null
    DeleteDC(hMem);
    ReleaseDC(nullptr, hScreen);
    return bOk;
}

COLORREF CCapture::At(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_nWidth || y >= m_nHeight) {
        return CLR_INVALID;
    }
    DWORD dwPixel = m_pixels[static_cast<size_t>(y) * m_nWidth + x];
    return RGB((dwPixel >> 16) & 0xFF, (dwPixel >> 8) & 0xFF, dwPixel & 0xFF);
}

size_t CCapture::Count(const RECT& rc, COLORREF cr) const
{
    size_t n = 0;
    for (int y = rc.top; y < rc.bottom; ++y) {
        for (int x = rc.left; x < rc.right; ++x) {
            n += (At(x, y) == cr) ? 1 : 0;  // CLR_INVALID outside the capture
        }
    }
    return n;
}

bool CCapture::SavePng(const std::wstring& path) const
{
    // GDI+'s PNG encoder, {557CF406-1A04-11D3-9A73-0000F81EF32E}.
    const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (m_pixels.empty() || Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
        return false;
    }
    bool bOk = false;
    {
        Gdiplus::Bitmap bitmap(m_nWidth, m_nHeight, m_nWidth * 4, PixelFormat32bppRGB,
                               reinterpret_cast<BYTE*>(const_cast<DWORD*>(m_pixels.data())));
        bOk = bitmap.Save(path.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
    }
    Gdiplus::GdiplusShutdown(token);
    return bOk;
}

CCapture SaveScreenshot(HWND hWnd, const wchar_t* lpName)
{
    CCapture capture;
    if (capture.Grab(hWnd)) {
        std::wstring path = ScreenshotPath(lpName);
        EXPECT_TRUE(capture.SavePng(path)) << testsupport::Narrow(path);
    }
    return capture;
}

DWORD SendAsService(DWORD dwProcessId, const std::vector<BYTE>& payload)
{
    DWORD dwAck = 0xFFFFFFFF;
    return pipetest::RawExchange(pipetest::ClientPipeName(integ::kPipeSuffix, dwProcessId),
                                 pipetest::Frame(0, payload), &dwAck);
}

integ::CTraceFile* ViewerWithService::s_trace = nullptr;

void ViewerWithService::SetUpTestSuite()
{
    ASSERT_EQ(0u, integ::StartWinmgmt()) << "winmgmt does not run";
    s_trace = new integ::CTraceFile(L"viewer_gui.log");
    integ::SetDword(integ::kDevInfoKey, L"Interval", 1000);
}

void ViewerWithService::TearDownTestSuite()
{
    integ::RemoveService();
    delete s_trace;
    s_trace = nullptr;
}

void ViewerWithService::SetUp()
{
    SERVICE_STATUS_PROCESS status = {};
    if (!integ::QueryService(integ::kServiceName, &status) || status.dwCurrentState != SERVICE_RUNNING) {
        integ::InstallAndStartService();
    }
}

void ViewerOpen::SetUp()
{
    ViewerWithService::SetUp();
    ASSERT_TRUE(viewer.Start());
    ASSERT_NE(nullptr, viewer.WaitForMainWindow());
}

void ViewerOpen::TearDown()
{
    EXPECT_EQ(0u, viewer.Close());
}

}  // namespace viewertest
