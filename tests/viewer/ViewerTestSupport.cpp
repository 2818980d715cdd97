#include "ViewerTestSupport.h"

#include <algorithm>
#include <cstdlib>

#include "PipeTestSupport.h"
#include "TestSupport.h"

namespace viewertest {

namespace {

const DWORD kMessageTimeout = 5000;
const int kMaxTextChars = 4096;
// Time the window gets to paint after being brought to the top.
const DWORD kPaintSettle = 300;

struct FindData {
    DWORD dwProcessId;
    const wchar_t* lpClass;
    const wchar_t* lpTitle;
    HWND hFound;
};

BOOL CALLBACK FindTopLevel(HWND hWnd, LPARAM lParam)
{
    FindData* pData = reinterpret_cast<FindData*>(lParam);
    DWORD dwOwner = 0;
    GetWindowThreadProcessId(hWnd, &dwOwner);
    if (dwOwner != pData->dwProcessId || ClassName(hWnd) != pData->lpClass) {
        return TRUE;
    }
    if (pData->lpTitle != nullptr && WindowText(hWnd) != pData->lpTitle) {
        return TRUE;
    }
    pData->hFound = hWnd;
    return FALSE;
}

// PNG pieces: CRC-32 of chunks, Adler-32 of the zlib stream.
DWORD Crc32(const BYTE* lpData, size_t cb, DWORD dwCrc = 0)
{
    dwCrc = ~dwCrc;
    for (size_t i = 0; i < cb; ++i) {
        dwCrc ^= lpData[i];
        for (int k = 0; k < 8; ++k) {
            dwCrc = (dwCrc >> 1) ^ (0xEDB88320u & (0u - (dwCrc & 1u)));
        }
    }
    return ~dwCrc;
}

void PutBigEndian(std::vector<BYTE>* pOut, DWORD dwValue)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        pOut->push_back(static_cast<BYTE>(dwValue >> shift));
    }
}

void PutChunk(std::vector<BYTE>* pOut, const char* lpType, const std::vector<BYTE>& data)
{
    PutBigEndian(pOut, static_cast<DWORD>(data.size()));
    std::vector<BYTE> body(lpType, lpType + 4);
    body.insert(body.end(), data.begin(), data.end());
    pOut->insert(pOut->end(), body.begin(), body.end());
    PutBigEndian(pOut, Crc32(body.data(), body.size()));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<BYTE> ZlibStored(const std::vector<BYTE>& raw)
{
    std::vector<BYTE> out = {0x78, 0x01};
    const size_t kBlock = 65535;
    size_t offset = 0;
    do {
        size_t n = std::min(kBlock, raw.size() - offset);
        bool bLast = offset + n == raw.size();
        out.push_back(bLast ? 1 : 0);
        out.push_back(static_cast<BYTE>(n));
        out.push_back(static_cast<BYTE>(n >> 8));
        out.push_back(static_cast<BYTE>(~n));
        out.push_back(static_cast<BYTE>(~n >> 8));
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(offset),
                   raw.begin() + static_cast<std::ptrdiff_t>(offset + n));
        offset += n;
    } while (offset < raw.size());
    DWORD a = 1;
    DWORD b = 0;
    for (BYTE byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(&out, (b << 16) | a);
    return out;
}

}  // namespace

HWND FindProcessWindow(DWORD dwProcessId, const wchar_t* lpClass, const wchar_t* lpTitle)
{
    FindData data = {dwProcessId, lpClass, lpTitle, nullptr};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&data));
    return data.hFound;
}

HWND WaitForProcessWindow(DWORD dwProcessId, const wchar_t* lpClass, DWORD dwTimeoutMs)
{
    HWND hWnd = nullptr;
    pipetest::WaitUntil([&] { return (hWnd = FindProcessWindow(dwProcessId, lpClass)) != nullptr; }, dwTimeoutMs);
    return hWnd;
}

HWND FindControl(HWND hParent, int nId, const wchar_t* lpClass)
{
    for (HWND hChild = GetWindow(hParent, GW_CHILD); hChild != nullptr; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(hChild) == nId && (lpClass == nullptr || ClassName(hChild) == lpClass)) {
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
    if (!SendMessageTimeoutW(hWnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, kMessageTimeout, &dwResult)) {
        return std::wstring();
    }
    return std::wstring(buffer.data());
}

std::wstring ClassName(HWND hWnd)
{
    wchar_t szClass[256] = {};
    GetClassNameW(hWnd, szClass, ARRAYSIZE(szClass));
    return szClass;
}

std::wstring MessageBoxText(HWND hBox)
{
    for (HWND hChild = GetWindow(hBox, GW_CHILD); hChild != nullptr; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        if (ClassName(hChild) == L"Static" && !WindowText(hChild).empty()) {
            return WindowText(hChild);
        }
    }
    return std::wstring();
}

bool CViewer::Start(const std::vector<std::wstring>& env)
{
    return m_process.StartProgram(integ::ProgramPath(L"quoviewer.exe"), {}, env);
}

HWND CViewer::WaitForMainWindow(DWORD dwTimeoutMs)
{
    bool bReady = pipetest::WaitUntil(
        [&] {
            m_hMain = FindProcessWindow(m_process.Id(), kMainWindowClass);
            // The panes exist once the tab control has its five tabs.
            HWND hTab = (m_hMain != nullptr) ? GetDlgItem(m_hMain, 1000) : nullptr;
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
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = m_nWidth;
    bmi.bmiHeader.biHeight = -m_nHeight;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
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
    if (hDib != nullptr) {
        DeleteObject(hDib);
    }
    if (hMem != nullptr) {
        DeleteDC(hMem);
    }
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

size_t CCapture::Count(const RECT& rc, COLORREF cr, int nTolerance) const
{
    size_t n = 0;
    for (int y = std::max(0L, rc.top); y < std::min<LONG>(m_nHeight, rc.bottom); ++y) {
        for (int x = std::max(0L, rc.left); x < std::min<LONG>(m_nWidth, rc.right); ++x) {
            COLORREF px = At(x, y);
            if (std::abs(GetRValue(px) - GetRValue(cr)) <= nTolerance &&
                std::abs(GetGValue(px) - GetGValue(cr)) <= nTolerance &&
                std::abs(GetBValue(px) - GetBValue(cr)) <= nTolerance) {
                ++n;
            }
        }
    }
    return n;
}

bool CCapture::SavePng(const std::wstring& path) const
{
    if (m_pixels.empty()) {
        return false;
    }
    std::vector<BYTE> raw;
    raw.reserve(static_cast<size_t>(m_nHeight) * (1 + 3 * m_nWidth));
    for (int y = 0; y < m_nHeight; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < m_nWidth; ++x) {
            COLORREF px = At(x, y);
            raw.push_back(GetRValue(px));
            raw.push_back(GetGValue(px));
            raw.push_back(GetBValue(px));
        }
    }
    std::vector<BYTE> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<BYTE> header;
    PutBigEndian(&header, static_cast<DWORD>(m_nWidth));
    PutBigEndian(&header, static_cast<DWORD>(m_nHeight));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
    PutChunk(&png, "IHDR", header);
    PutChunk(&png, "IDAT", ZlibStored(raw));
    PutChunk(&png, "IEND", {});
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD dwWritten = 0;
    bool bOk = WriteFile(hFile, png.data(), static_cast<DWORD>(png.size()), &dwWritten, nullptr) &&
               dwWritten == png.size();
    CloseHandle(hFile);
    return bOk;
}

std::wstring ScreenshotPath(const wchar_t* lpName)
{
    std::wstring dir = testsupport::ThisExePath();
    dir.resize(dir.find_last_of(L'\\'));       // bin
    dir.resize(dir.find_last_of(L'\\') + 1);   // the build folder
    dir += L"screenshots";
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\" + lpName + L".png";
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
    delete s_trace;
    s_trace = nullptr;
}

void ViewerWithService::SetUp()
{
    integ::InstallAndStartService();
}

void ViewerWithService::TearDown()
{
    integ::RemoveService();
}

}  // namespace viewertest
