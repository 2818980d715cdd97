// Times the viewer's live drawing: one repaint of the live plot with a full series, one
// update of the realtime pane for a new record, and one tick of the live wattage pane.
// Prints figures; it judges nothing.
//
//   viewer_bench.exe [ROUNDS]     (default 200)
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <vector>

#include "CQVChildDlgMonitor.h"
#include "CQVChildDlgRealtime.h"
#include "CRtPlot.h"
#include "PipeCmd.h"
#include "QVRootConfig.h"

namespace {

const wchar_t kHostClass[] = L"QVViewerBenchHost";

HWND CreateHost(int nWidth, int nHeight)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_3DFACE);
    wc.lpszClassName = kHostClass;
    RegisterClassExW(&wc);
    HWND hWnd = CreateWindowExW(0, kHostClass, L"viewer_bench", WS_POPUP | WS_VISIBLE, 0, 0, nWidth, nHeight, nullptr,
                                nullptr, wc.hInstance, nullptr);
    UpdateWindow(hWnd);
    return hWnd;
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Runs step nRounds times and prints the minimum, median and mean in milliseconds.
void Measure(const wchar_t* lpName, int nRounds, const std::function<void(int)>& step)
{
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    std::vector<double> ms;
    for (int i = 0; i < nRounds; ++i) {
        LARGE_INTEGER t0;
        LARGE_INTEGER t1;
        QueryPerformanceCounter(&t0);
        step(i);
        QueryPerformanceCounter(&t1);
        ms.push_back(1000.0 * double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart));
        PumpMessages();
    }
    std::sort(ms.begin(), ms.end());
    double dSum = 0.0;
    for (double d : ms) {
        dSum += d;
    }
    wprintf(L"%-44ls min %7.3f ms  median %7.3f ms  mean %7.3f ms  (%d rounds)\n", lpName, ms.front(),
            ms[ms.size() / 2], dSum / double(ms.size()), nRounds);
}

QVPipeCmdNotifySysInfo Record(int i)
{
    QVPipeCmdNotifySysInfo info = {};
    info.dwCmd = PIPECMD_NOTIFY_SYSINFO;
    info.byQuoLevel = static_cast<BYTE>(i % 6);
    wcscpy(info.szPowerPlan, (i % 2) ? L"QUO" : L"バランス");
    info.dWatt = 20.0 + (i % 40);
    info.byBatteryStatus = static_cast<BYTE>(1 + i % 3);
    info.byBatteryLifePercent = static_cast<BYTE>(i % 101);
    return info;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int nRounds = (argc > 1) ? std::max(1, _wtoi(argv[1])) : 200;
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);

    HWND hHost = CreateHost(720, 480);
    CRtPlot plot;
    if (plot.Create(WS_CHILD | WS_VISIBLE | WS_BORDER, RECT{10, 10, 690, 300}, hHost, 12000) != 0) {
        fwprintf(stderr, L"the plot could not be created\n");
        return 1;
    }
    // A full series with colour changes, a gap and a value above the range.
    for (int i = 0; i <= plot.GetAxes().nXNum; ++i) {
        const double dValue = (i % 17 == 5) ? -1.0 : (i % 23 == 7) ? 250.0 : 20.0 + (i * 7) % 45;
        plot.AddPoint(dValue, (i / 10) % 2 ? RGB(63, 209, 255) : RGB(166, 255, 59));
    }
    PumpMessages();
    Measure(L"plot repaint (invalidate + WM_PAINT)", nRounds, [&](int) {
        plot.Invalidate();
        UpdateWindow(plot.GetSafeHwnd());
    });
    Measure(L"plot point + repaint", nRounds, [&](int i) {
        plot.AddPoint(20.0 + i % 45, (i / 10) % 2 ? RGB(63, 209, 255) : RGB(166, 255, 59));
        plot.Invalidate();
        UpdateWindow(plot.GetSafeHwnd());
    });
    plot.Destroy();

    QVRootConfig config = MakeQVRootConfig();
    config.dwPCType = QV_PC_WITH_BATTERY;
    config.cnrType = CNR_CONSUMER;
    CQVChildDlgRealtime realtime;
    realtime.SetQVRootConfig(&config);
    if (realtime.Create(hHost) != 0) {
        fwprintf(stderr, L"the realtime pane could not be created\n");
        return 1;
    }
    ShowWindow(realtime.GetSafeHwnd(), SW_SHOW);
    Measure(L"realtime pane update (Apply: texts, leaves)", nRounds, [&](int i) {
        const QVPipeCmdNotifySysInfo info = Record(i);
        realtime.Apply(&info);
    });
    Measure(L"realtime pane update (Apply + repaint)", nRounds, [&](int i) {
        const QVPipeCmdNotifySysInfo info = Record(i);
        realtime.Apply(&info);
        UpdateWindow(hHost);
        UpdateWindow(realtime.GetSafeHwnd());
    });
    realtime.DestroyWindow();

    CQVChildDlgMonitor monitor;
    monitor.SetQVRootConfig(&config);
    if (monitor.Create(hHost) != 0) {
        fwprintf(stderr, L"the monitor pane could not be created\n");
        return 1;
    }
    ShowWindow(monitor.GetSafeHwnd(), SW_SHOW);
    Measure(L"monitor pane tick (Apply + point + repaint)", nRounds, [&](int i) {
        const QVPipeCmdNotifySysInfo info = Record(i);
        monitor.Apply(&info);
        monitor.OnTimerTick();
        UpdateWindow(monitor.GetPlot().GetSafeHwnd());
    });
    monitor.DestroyWindow();
    DestroyWindow(hHost);
    return 0;
}
