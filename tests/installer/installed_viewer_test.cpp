// The viewer as the setup installed it, opened as the Start menu entry opens it: its
// main window shows live data of the installed service (the active plan's name), and a
// screenshot of it is saved under the build folder's screenshots folder.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "IntegrationSupport.h"
#include "PipeTestSupport.h"
#include "ViewerTestSupport.h"

using namespace integ;
using namespace viewertest;

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QUOViewer";
const int kIdPlanName = 1011;
// The active plan of the simulated machine.
const wchar_t kActivePlan[] = L"バランス";

// The program folder that the setup recorded; empty when there is none.
std::wstring InstallLocation()
{
    wchar_t szPath[MAX_PATH] = L"";
    DWORD cbPath = sizeof(szPath) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation", RRF_RT_REG_SZ, nullptr, szPath,
                     &cbPath) != ERROR_SUCCESS) {
        return std::wstring();
    }
    return szPath;
}

TEST(InstalledViewer, OpensWithLiveDataOfTheService)
{
    std::wstring folder = InstallLocation();
    ASSERT_FALSE(folder.empty());
    CProcess viewer;
    ASSERT_TRUE(viewer.StartProgram(folder + L"\\quoviewer.exe", {}));
    HWND hMain = WaitForProcessWindow(viewer.Id(), kMainWindowClass);
    ASSERT_NE(nullptr, hMain);
    // The panes and their controls come a moment after the main window.
    std::wstring plan;
    EXPECT_TRUE(pipetest::WaitUntil(
        [&] {
            HWND hPlan = FindControl(hMain, kIdPlanName);
            plan = (hPlan != nullptr) ? WindowText(hPlan) : L"";
            return plan == kActivePlan;
        },
        kWait))
        << testsupport::Narrow(plan);
    EXPECT_GT(SaveScreenshot(hMain, L"installed_viewer").Width(), 0);
    PostMessageW(hMain, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(0u, viewer.Wait(kWait));
}

}  // namespace
