// Benchmark of the log analysis pane's full update per view: reading the period from
// QUOLog.dll, merging and building the bars, and drawing the histogram into its bitmap,
// on the known month of logs (built on first use in the product's log folder). Prints
// the figures; judges nothing. Run on a clean machine:
//   tools/wine-run --fresh -- build/bin/viewer_log_bench.exe [rounds]
#include <windows.h>

#include <commctrl.h>
#include <stdio.h>

#include <algorithm>
#include <vector>

#include "LogMonthFixture.h"
#include "LogPeriodData.h"
#include "QVImage.h"
#include "QuoLog.h"
#include "QuoViewer_Common.h"

using namespace viewertest;

namespace {

double NowMs()
{
    LARGE_INTEGER freq;
    LARGE_INTEGER count;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&count);
    return count.QuadPart * 1000.0 / freq.QuadPart;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int nRounds = (argc > 1) ? std::max(1, _wtoi(argv[1])) : 50;
    if (GetFileAttributesW((ProductLogDir() + L"\\QuoLogYearly2012.csv").c_str()) == INVALID_FILE_ATTRIBUTES &&
        !BuildFixtureMonth()) {
        fwprintf(stderr, L"cannot build the month of logs\n");
        return 1;
    }
    const DWORD dwInit = QUOLogInitialize(QUOLOG_MODE_READER, 1000, 0, 0);
    if (dwInit != 0) {
        fwprintf(stderr, L"QUOLogInitialize: %lu\n", dwInit);
        return 1;
    }
    HWND hWnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 650, 228, nullptr, nullptr, nullptr, nullptr);
    HWND hTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP, 0, 0, 0, 0, hWnd, nullptr, nullptr,
                                nullptr);
    CQVImage image;
    if (hWnd == nullptr || image.Initialize(hWnd, L"IPAGothic") != 0) {
        fwprintf(stderr, L"cannot make the image\n");
        return 1;
    }
    QVBarTexts texts;
    texts.sleep[1] = L"S0";
    QVPlanColorTable plans;
    QVStateColorTable states;
    InitColorPowerState(&states);
    QVHistogramSettings settings;
    settings.strBarTipConsumer = L"%.0f Wh %.0f Wh";

    const wchar_t* names[] = {L"day", L"week", L"month", L"year"};
    wprintf(L"view   read+bars ms   draw ms   total ms (mean of %d; min total)\n", nRounds);
    for (DWORD dwMode = QV_LOGMODE_DAY; dwMode <= QV_LOGMODE_YEAR; ++dwMode) {
        double dRead = 0.0;
        double dDraw = 0.0;
        double dMin = 1e9;
        for (int i = 0; i < nRounds; ++i) {
            QVLogPeriodData data;
            const double t0 = NowMs();
            UpdateLogData(dwMode, MakeDate(kFixtureYear, kFixtureMonth, 14), texts, plans, states, &data);
            const double t1 = NowMs();
            image.DrawLogGraph(dwMode, CNR_CONSUMER, data.bars, settings, hWnd, hTip);
            const double t2 = NowMs();
            dRead += t1 - t0;
            dDraw += t2 - t1;
            dMin = std::min(dMin, t2 - t0);
        }
        wprintf(L"%-6ls %10.2f %10.2f %10.2f   (min %.2f)\n", names[dwMode - 1], dRead / nRounds, dDraw / nRounds,
                (dRead + dDraw) / nRounds, dMin);
    }
    image.Finalize();
    DestroyWindow(hTip);
    DestroyWindow(hWnd);
    QUOLogFinalize();
    return 0;
}
