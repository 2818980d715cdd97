// The viewer as the setup installed it, opened as the Start menu entry opens it.
// OpensWithLiveDataOfTheService: its main window shows live data of the installed
// service (the active plan's name); a screenshot is saved under the build folder's
// screenshots folder. DayViewShowsTheTotals: the log tab's day view of today shows the
// energy and running hours given in QUO_EXPECT_TOTAL_WH and QUO_EXPECT_RUN_HOURS (what
// the end-to-end test computed from the raw log and quolog's daily totals).
#include <cstdlib>

#include "ViewerTestSupport.h"
#include "resource.h"

using namespace integ;
using namespace viewertest;

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QUOViewer";
// The active plan of the simulated machine.
const wchar_t kActivePlan[] = L"バランス";

// The installed viewer, started from the program folder that the setup recorded, its
// panes up; closed with its close button.
class InstalledViewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t szFolder[MAX_PATH] = L"";
        DWORD cbFolder = sizeof(szFolder) - sizeof(wchar_t);
        ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation", RRF_RT_REG_SZ,
                                              nullptr, szFolder, &cbFolder));
        ASSERT_NE(L'\0', szFolder[0]);
        ASSERT_TRUE(m_viewer.Start({}, szFolder + std::wstring(L"\\quoviewer.exe")));
        ASSERT_NE(nullptr, m_viewer.WaitForMainWindow());
    }
    void TearDown() override
    {
        if (m_viewer.MainWindow() != nullptr) {
            EXPECT_EQ(0u, m_viewer.Close());
        }
    }

    CViewer m_viewer;
};

TEST_F(InstalledViewer, OpensWithLiveDataOfTheService)
{
    std::wstring plan;
    EXPECT_TRUE(pipetest::WaitUntil([&] { return (plan = WindowText(m_viewer.Control(kIdPlanName))) == kActivePlan; },
                                    kWait))
        << testsupport::Narrow(plan);
    EXPECT_GT(SaveScreenshot(m_viewer.MainWindow(), L"installed_viewer").Width(), 0);
}

TEST_F(InstalledViewer, DayViewShowsTheTotals)
{
    const char* pTotalWh = std::getenv("QUO_EXPECT_TOTAL_WH");
    const char* pRunHours = std::getenv("QUO_EXPECT_RUN_HOURS");
    ASSERT_TRUE(pTotalWh != nullptr && pRunHours != nullptr) << "QUO_EXPECT_TOTAL_WH and QUO_EXPECT_RUN_HOURS";
    // The log tab, chosen with the keyboard as a user may: the tab control tells the
    // dialog, which opens the log pane on today's day view.
    PostMessageW(m_viewer.Control(kIdTab), WM_KEYDOWN, VK_RIGHT, 0);
    SYSTEMTIME stToday = {};
    GetLocalTime(&stToday);
    const std::wstring today = std::to_wstring(stToday.wYear) + L" 年 " + std::to_wstring(stToday.wMonth) + L" 月 " +
                               std::to_wstring(stToday.wDay) + L" 日";
    HWND hDate = nullptr;
    ASSERT_TRUE(pipetest::WaitUntil(
        [&] {
            hDate = m_viewer.Control(IDC_BTN_LOG_DATE);
            return hDate != nullptr && IsWindowVisible(hDate) && WindowText(hDate) == today;
        },
        kWait))
        << "the log pane's day view of today";
    // The pane's own controls: the live panes use some of the same ids.
    HWND hPane = GetParent(hDate);
    HWND hTotal = FindControl(hPane, IDC_STATIC_LOG_TOTAL_VALUE);
    HWND hHours = FindControl(hPane, IDC_STATIC_LOG_RUN_VALUE);
    ASSERT_TRUE(hTotal != nullptr && hHours != nullptr);
    EXPECT_EQ(pTotalWh, testsupport::Narrow(WindowText(hTotal)));
    EXPECT_EQ(pRunHours, testsupport::Narrow(WindowText(hHours)));
    EXPECT_GT(SaveScreenshot(m_viewer.MainWindow(), L"installed_viewer_day").Width(), 0);
}

}  // namespace
