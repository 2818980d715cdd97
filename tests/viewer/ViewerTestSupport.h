// Helpers of the viewer's GUI tests: the real quoviewer.exe started against the real
// service on a simulated machine, its windows found by class and id, their texts read,
// and their pixels captured from the screen (a BitBlt of the screen into a DIB:
// PrintWindow draws nothing under Wine) and saved as PNG under the build folder.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IntegrationSupport.h"

namespace viewertest {

const wchar_t kMainWindowClass[] = L"QUOViewerTool_AP_Class";
const wchar_t kDialogClass[] = L"#32770";
// Controls of the main dialog and its live panes.
const int kIdTab = 1000;
const int kIdPlanName = 1011;
const int kIdLogging = 1019;
const int kIdPlot = 12000;

// The first top-level window of process dwProcessId with class lpClass (null when there
// is none), and a wait of up to dwTimeoutMs for one.
using integ::FindProcessWindow;
HWND WaitForProcessWindow(DWORD dwProcessId, const wchar_t* lpClass, DWORD dwTimeoutMs = integ::kWait);
// The descendant of hParent with control id nId (and class lpClass unless null),
// searched depth first; null when there is none.
HWND FindControl(HWND hParent, int nId, const wchar_t* lpClass = nullptr);
// The text of any window, also of another process (WM_GETTEXT with a time-out).
std::wstring WindowText(HWND hWnd);
// The client area of hWnd in the client coordinates of hTop, as a capture of hTop holds it.
RECT ClientInCapture(HWND hWnd, HWND hTop);

// A running viewer; killed at the end of the object if it still runs.
class CViewer {
public:
    // Starts quoviewer.exe of the build (or program exe) with env added to its environment.
    bool Start(const std::vector<std::wstring>& env = {}, const std::wstring& exe = std::wstring());
    // Waits for the main dialog and for its panes to exist; the dialog or null.
    HWND WaitForMainWindow(DWORD dwTimeoutMs = integ::kWait);
    HWND MainWindow() const { return m_hMain; }
    HWND Control(int nId, const wchar_t* lpClass = nullptr) const { return FindControl(m_hMain, nId, lpClass); }
    // Clicks a button of the main dialog (BM_CLICK, waited for).
    void Click(int nId);
    // Asks the dialog to close (the close button) and waits for the process; its exit
    // code or integ::kStillRunning.
    DWORD Close(DWORD dwTimeoutMs = integ::kWait);
    integ::CProcess& Process() { return m_process; }

private:
    integ::CProcess m_process;
    HWND m_hMain = nullptr;
};

// 32-bit pixels (0x00RRGGBB) of a window's client area as the screen shows it (the
// frame is left out: without a window manager nobody draws it under Xvfb).
class CCapture {
public:
    // Brings hWnd to the top, lets it paint, and copies its client area from the
    // screen. False when the window is gone or the copy failed.
    bool Grab(HWND hWnd);
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    // The colour at client point (x, y), as a COLORREF; CLR_INVALID outside.
    COLORREF At(int x, int y) const;
    // How many pixels of the rectangle have colour cr.
    size_t Count(const RECT& rc, COLORREF cr) const;
    // Saves the capture as a PNG; false on failure.
    bool SavePng(const std::wstring& path) const;

private:
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<DWORD> m_pixels;  // top-down rows
};

// Captures hWnd and saves it as lpName.png in the build folder's screenshots folder;
// the capture (empty when it failed).
CCapture SaveScreenshot(HWND hWnd, const wchar_t* lpName);

// Sends a payload to the viewer of process dwProcessId as the service would (DataHdr
// with handle 0 on the viewer's own pipe); the ACK's transport result.
DWORD SendAsService(DWORD dwProcessId, const std::vector<BYTE>& payload);

// A test suite whose tests run the viewer against the service: winmgmt started, the
// trace file on, the service installed once for the suite and removed after it; each
// test starts it unless it runs (a test may stop it).
class ViewerWithService : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

private:
    static integ::CTraceFile* s_trace;
};

// ViewerWithService with the viewer started and its main window up before each test;
// after each test the viewer must close with exit code 0.
class ViewerOpen : public ViewerWithService {
protected:
    void SetUp() override;
    void TearDown() override;

    CViewer viewer;
};

}  // namespace viewertest
