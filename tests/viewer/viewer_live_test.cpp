// The viewer's live panes against the running service on simulated machines, judged on
// the pixels of the real window: the plot advances one interval per tick ("Interval"
// 1000) in the colour of the active plan and shows a gap while logging is off; the
// leaves follow the level; the texts follow the power source and the plan.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "SimSetting.h"
#include "ViewerTestSupport.h"

using namespace integ;
using namespace viewertest;

namespace {

const wchar_t kPlotClass[] = L"QVRtPlot";
const int kIdPowerSource = 1007;
const int kIdFirstLeaf = 1013;
const wchar_t kBalancedScheme[] = L"{381b4222-f694-41f0-9685-ff5bb260df2e}";
const wchar_t kQuoScheme[] = L"{5a560051-554f-4a50-8c41-4e0000000001}";
// The commercial model's colours of "QUO" and of the plans it does not name; the
// consumer model's colour of the plans it does not name.
const COLORREF kQuoColor = RGB(166, 255, 59);
const COLORREF kOtherColor = RGB(163, 73, 164);
const COLORREF kConsumerOtherColor = RGB(255, 174, 201);
const COLORREF kVerticalGrid = RGB(0, 50, 0);

// The live plot of a running viewer, seen through captures of its main window; the
// line is drawn in crOther (the model's colour of the plans it does not name) or in the
// colour of "QUO".
class CPlotView {
public:
    CPlotView(CViewer& viewer, COLORREF crOther) : m_viewer(viewer), m_crOther(crOther) {}

    // Captures the main window; false when it failed.
    bool Grab()
    {
        HWND hPlot = m_viewer.Control(kIdPlot, kPlotClass);
        if (hPlot == nullptr || !m_capture.Grab(m_viewer.MainWindow())) {
            return false;
        }
        m_rcPlot = ClientInCapture(hPlot, m_viewer.MainWindow());
        return true;
    }
    // Grabs until condition holds on a capture, at most kWait.
    bool WaitFor(const std::function<bool()>& condition)
    {
        return pipetest::WaitUntil([&] { return Grab() && condition(); }, kWait);
    }
    int Width() const { return m_rcPlot.right - m_rcPlot.left; }
    // The plot's columns (from its left edge) that hold a pixel of colour cr.
    std::vector<int> ColumnsWith(COLORREF cr) const
    {
        std::vector<int> columns;
        for (int x = m_rcPlot.left; x < m_rcPlot.right; ++x) {
            const RECT rcColumn = {x, m_rcPlot.top, x + 1, m_rcPlot.bottom};
            if (m_capture.Count(rcColumn, cr) > 0) {
                columns.push_back(x - m_rcPlot.left);
            }
        }
        return columns;
    }
    std::vector<int> OtherColumns() const { return ColumnsWith(m_crOther); }
    // The columns of the line in either plan colour.
    std::vector<int> LineColumns() const
    {
        std::vector<int> columns = OtherColumns();
        const std::vector<int> quo = ColumnsWith(kQuoColor);
        columns.insert(columns.end(), quo.begin(), quo.end());
        std::sort(columns.begin(), columns.end());
        return columns;
    }
    // The line's columns in each colour and the plot's width, for a failure message.
    std::string Describe() const
    {
        const auto span = [](const std::vector<int>& columns) {
            return columns.empty() ? std::string("none")
                                   : std::to_string(columns.size()) + " in " + std::to_string(columns.front()) +
                                         ".." + std::to_string(columns.back());
        };
        return "other colour: " + span(OtherColumns()) + ", QUO colour: " + span(ColumnsWith(kQuoColor)) +
               ", width " + std::to_string(Width());
    }
    // Pixels between two vertical grid lines: one X interval.
    int Step() const
    {
        const std::vector<int> columns = ColumnsWith(kVerticalGrid);
        int nStep = 0;
        for (size_t i = 1; i < columns.size(); ++i) {
            nStep = (nStep == 0) ? columns[i] - columns[i - 1] : std::min(nStep, columns[i] - columns[i - 1]);
        }
        return nStep;
    }

private:
    CViewer& m_viewer;
    COLORREF m_crOther;
    CCapture m_capture;
    RECT m_rcPlot = {};
};

// How many of the five leaves look green in a capture of the main window.
int GreenLeaves(CViewer& viewer)
{
    CCapture capture;
    if (!capture.Grab(viewer.MainWindow())) {
        return -1;
    }
    int nGreen = 0;
    for (int i = 0; i < 5; ++i) {
        const RECT rc = ClientInCapture(viewer.Control(kIdFirstLeaf + i), viewer.MainWindow());
        size_t nLeafGreen = 0;
        for (int y = rc.top; y < rc.bottom; ++y) {
            for (int x = rc.left; x < rc.right; ++x) {
                const COLORREF cr = capture.At(x, y);
                nLeafGreen += (GetGValue(cr) > std::max(GetRValue(cr), GetBValue(cr)) + 40) ? 1 : 0;
            }
        }
        nGreen += (nLeafGreen * 20 > size_t(rc.right - rc.left) * (rc.bottom - rc.top)) ? 1 : 0;
    }
    return nGreen;
}

// The text of the visible tooltip of the viewer's main window once the pointer rests
// over hWnd; empty when none shows.
std::wstring TooltipOver(HWND hWnd, HWND hMain)
{
    RECT rc = {};
    GetWindowRect(hWnd, &rc);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = ((rc.left + rc.right) / 2) * 65535 / GetSystemMetrics(SM_CXSCREEN);
    input.mi.dy = ((rc.top + rc.bottom) / 2) * 65535 / GetSystemMetrics(SM_CYSCREEN);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    std::wstring strTip;
    pipetest::WaitUntil(
        [&] {
            SendInput(1, &input, sizeof(input));
            HWND hTip = nullptr;
            while ((hTip = FindWindowExW(nullptr, hTip, TOOLTIPS_CLASSW, nullptr)) != nullptr) {
                const HWND hOwner = GetWindow(hTip, GW_OWNER);
                if (hOwner != nullptr && GetAncestor(hOwner, GA_ROOT) == hMain && IsWindowVisible(hTip)) {
                    strTip = WindowText(hTip);
                    return !strTip.empty();
                }
            }
            return false;
        },
        kWait);
    return strTip;
}

// The notebook: the power source text carries the fake power supply's percentage.
using ViewerLiveNotebook = ViewerOpen;

TEST_F(ViewerLiveNotebook, ShowsTheBatteryPercentage)
{
    const struct {
        const char* lpOnline;
        const char* lpStatus;
        const char* lpCharge;
        const wchar_t* lpText;
    } cases[] = {{"0\n", "Discharging\n", "1850000\n", L"バッテリ：残り\u300037%"},
                 {"1\n", "Charging\n", "4100000\n", L"AC電源：充電中\u300082%"}};
    for (const auto& c : cases) {
        ASSERT_NO_FATAL_FAILURE(SetPowerSupply(c.lpOnline, c.lpStatus, c.lpCharge));
        std::wstring strText;
        EXPECT_TRUE(pipetest::WaitUntil(
            [&] { return (strText = WindowText(viewer.Control(kIdPowerSource))) == c.lpText; }, kWait))
            << testsupport::Narrow(strText);
    }
    SaveScreenshot(viewer.MainWindow(), L"viewer_live_notebook");
}

// The model by the environment (QUO_VIEWER_MODEL "consumer" sets "CnrFlag" 1), the DPI
// as the prefix has it; the balanced plan at level 4.
class ViewerScreens : public ViewerOpen {
protected:
    void SetUp() override
    {
        wchar_t szModel[32] = {};
        GetEnvironmentVariableW(L"QUO_VIEWER_MODEL", szModel, ARRAYSIZE(szModel));
        m_model = (std::wstring(szModel) == L"consumer") ? L"consumer" : L"commercial";
        if (m_model == L"consumer") {
            SetDword(kProductKey, L"CnrFlag", 1);
        }
        ViewerOpen::SetUp();
    }
    // Saves the main window as viewer_MODEL_DPI plus suffix, for a person to look at.
    void Screenshot(const wchar_t* lpSuffix)
    {
        HDC hScreen = GetDC(nullptr);
        const int nDpi = GetDeviceCaps(hScreen, LOGPIXELSY);
        ReleaseDC(nullptr, hScreen);
        const std::wstring name = L"viewer_" + m_model + L"_" + std::to_wstring(nDpi) + lpSuffix;
        EXPECT_GT(SaveScreenshot(viewer.MainWindow(), name.c_str()).Width(), 0);
    }

    std::wstring m_model;
    CSimSetting m_level{L"QuoLevel", L"Level", 4};
    CSimSetting m_plan{L"PowerSchemes", L"Active", kBalancedScheme};
};

// The line moves left by whole X intervals, at most one per tick, its newest point at
// the right edge, in the model's colour of the plans it does not name only. Logging
// off: a gap at every tick, "不明" for the plan in the pane and its tooltip. Logging on again with another active plan (the service reads the plan when measuring
// starts; Wine sends no notice of a new plan): the line comes back in that plan's colour,
// the older points keep the model's colour of the plans it does not name.
TEST_F(ViewerScreens, LoggingOffShowsAGapThenTheNewPlansColour)
{
    CPlotView plot(viewer, m_model == L"consumer" ? kConsumerOtherColor : kOtherColor);
    ASSERT_TRUE(plot.WaitFor([&] { return plot.OtherColumns().size() > 1 && plot.Step() > 2; }));
    const int nStep = plot.Step();
    const int nFirst = plot.OtherColumns().front();
    const DWORD dwStart = GetTickCount();
    // A few points of the line before it stops, for the screenshot.
    ASSERT_TRUE(plot.WaitFor([&] {
        const std::vector<int> columns = plot.OtherColumns();
        return columns.front() < nFirst && columns.back() - columns.front() >= 4 * nStep;
    })) << "the line does not move";
    const int nMoved = nFirst - plot.OtherColumns().front();
    EXPECT_EQ(0, nMoved % nStep) << "moved " << nMoved << " pixels with a step of " << nStep;
    EXPECT_LE(nMoved / nStep, int((GetTickCount() - dwStart) / 1000) + 1);
    EXPECT_GE(plot.OtherColumns().back(), plot.Width() - nStep) << "the newest point lies at the right edge";
    EXPECT_TRUE(plot.ColumnsWith(kQuoColor).empty()) << "a colour of a plan not active";
    HWND hPlanName = viewer.Control(kIdPlanName);
    EXPECT_EQ(L"バランス", WindowText(hPlanName));

    viewer.Click(kIdLogging);
    EXPECT_TRUE(plot.WaitFor([&] {
        const std::vector<int> columns = plot.LineColumns();
        return !columns.empty() && columns.back() < plot.Width() - 2 * nStep;
    })) << "no gap at the right edge while logging is off";
    Screenshot(L"_logging_off");
    EXPECT_EQ(L"不明", WindowText(hPlanName));
    EXPECT_EQ(L"不明", TooltipOver(hPlanName, viewer.MainWindow()));

    CSimSetting quo(L"PowerSchemes", L"Active", kQuoScheme);
    const std::wstring offText = WindowText(viewer.Control(kIdLogging));
    viewer.Click(kIdLogging);
    EXPECT_TRUE(pipetest::WaitUntil([&] { return WindowText(viewer.Control(kIdLogging)) != offText; }, kWait))
        << "the service did not confirm logging on";
    EXPECT_TRUE(plot.WaitFor([&] {
        const std::vector<int> quoColumns = plot.ColumnsWith(kQuoColor);
        const std::vector<int> otherColumns = plot.OtherColumns();
        return quoColumns.size() > 1 && !otherColumns.empty() && quoColumns.front() > otherColumns.back() &&
               quoColumns.back() >= plot.Width() - nStep && quoColumns.back() - quoColumns.front() >= 4 * nStep;
    })) << "the line did not come back in the QUO plan's colour (" << plot.Describe()
         << ", plan name " << testsupport::Narrow(WindowText(hPlanName)) << ")";
    EXPECT_TRUE(pipetest::WaitUntil([&] { return WindowText(hPlanName) == L"QUO"; }, kWait));
    Screenshot(L"");
}

TEST_F(ViewerScreens, LeavesFollowTheLevel)
{
    for (DWORD dwLevel : {2u, 5u, 0u, 3u}) {
        m_level.Set(dwLevel);
        EXPECT_TRUE(pipetest::WaitUntil([&] { return GreenLeaves(viewer) == int(dwLevel); }, kWait))
            << "level " << dwLevel << ": " << GreenLeaves(viewer) << " green leaves";
    }
}

}  // namespace
