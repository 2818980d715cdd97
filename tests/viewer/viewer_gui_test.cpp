// The viewer as a user starts it, on a simulated desktop: the refusal while the service
// does not run, the single instance, the logging button through the service, help, the
// records of wrong size, and closing while records keep arriving. Screenshots of the
// main window are saved under the build folder's screenshots folder.
#include <atomic>
#include <thread>

#include "ViewerTestSupport.h"
#include "WineDifferences.h"

using namespace integ;
using namespace viewertest;

namespace {

const int kIdHelp = 1018;
const wchar_t kStopText[] = L"電力情報の測定と記録を停止します";
const wchar_t kStartText[] = L"電力情報の測定と記録を開始します";
const wchar_t kHelpWindowClass[] = L"HH Parent";

// The help window's title as HTML Help shows the help file's Shift_JIS title.
std::wstring HelpTitle(const wchar_t* lpTitle)
{
    const UINT kShiftJis = 932;
    char szBytes[256] = {};
    WideCharToMultiByte(kShiftJis, 0, lpTitle, -1, szBytes, sizeof(szBytes), nullptr, nullptr);
    wchar_t szShown[256] = {};
    MultiByteToWideChar(winediff::HelpTitleCodePage(kShiftJis), 0, szBytes, -1, szShown, ARRAYSIZE(szShown));
    return szShown;
}

std::vector<BYTE> SysInfo(const wchar_t* lpPlan, DWORD cb = sizeof(QVPipeCmdNotifySysInfo))
{
    QVPipeCmdNotifySysInfo info = {};
    BuildNotifySysInfo(&info, 3, lpPlan, 20000, 0, 1, 0);
    std::vector<BYTE> bytes(cb, 0);
    CopyMemory(bytes.data(), &info, std::min<size_t>(cb, sizeof(info)));
    return bytes;
}

// ---------------------------------------------------------------------------------
// Without the service

// The service is not installed: the viewer says so in a box named after the product
// line and opens no main window; the box's OK ends it.
TEST(ViewerWithoutService, RefusalBoxNamesTheProductByCnrFlag)
{
    // "CnrFlag" 1, then absent (as the tests after this one need it).
    for (const wchar_t* lpProduct : {L"タロメ", L"ヌボラ"}) {
        const bool bConsumer = lpProduct == std::wstring(L"タロメ");
        SCOPED_TRACE(bConsumer ? "CnrFlag 1" : "no CnrFlag");
        if (bConsumer) {
            SetDword(kProductKey, L"CnrFlag", 1);
        } else {
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kProductKey, L"CnrFlag");
        }
        CViewer viewer;
        ASSERT_TRUE(viewer.Start());
        HWND hBox = WaitForProcessWindow(viewer.Process().Id(), kDialogClass);
        ASSERT_NE(nullptr, hBox);
        EXPECT_EQ(lpProduct, WindowText(hBox));
        EXPECT_EQ(nullptr, FindProcessWindow(viewer.Process().Id(), kMainWindowClass));
        if (bConsumer) {
            SaveScreenshot(hBox, L"refusal_box");
        }
        PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_EQ(0u, viewer.Process().Wait(kWait));
    }
}

// ---------------------------------------------------------------------------------
// Against the service

// The main window opens with the product's title and the logging button's stop text;
// a second viewer restores the first one from the taskbar and leaves.
TEST_F(ViewerOpen, OpensThenASecondViewerRestoresTheFirst)
{
    HWND hMain = viewer.MainWindow();
    EXPECT_EQ(L"ヌボラ", WindowText(hMain));
    EXPECT_TRUE(pipetest::WaitUntil([&] { return WindowText(viewer.Control(kIdLogging)) == kStopText; }, kWait));
    CCapture shot = SaveScreenshot(hMain, L"viewer_main");
    ASSERT_GT(shot.Width(), 0);
    // The tab control's green outlines; around it the dialog's picture, a pale green wash
    // that is neither white nor the system's grey (the rest is for the screenshot).
    const RECT rcTab = ClientInCapture(viewer.Control(kIdTab), hMain);
    EXPECT_GT(shot.Count(rcTab, RGB(50, 130, 0)), static_cast<size_t>(rcTab.right - rcTab.left));
    COLORREF crCorner = shot.At(2, shot.Height() - 3);
    EXPECT_GT(GetGValue(crCorner), GetRValue(crCorner) + 10) << std::hex << crCorner;

    ShowWindow(hMain, SW_MINIMIZE);
    ASSERT_TRUE(pipetest::WaitUntil([&] { return IsIconic(hMain) != FALSE; }, kWait));
    CViewer second;
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(0u, second.Process().Wait(kWait));
    EXPECT_TRUE(pipetest::WaitUntil([&] { return IsIconic(hMain) == FALSE && IsWindowVisible(hMain); }, kWait));
    EXPECT_EQ(nullptr, FindProcessWindow(second.Process().Id(), kMainWindowClass));
}

// The logging button asks the service to stop measuring and recording and to start
// again: the button's text follows the service's answer, the service keeps "Function",
// and the raw log gets END then START. With the service gone the button does nothing.
TEST_F(ViewerOpen, LoggingButtonStopsAndRestartsRecording)
{
    ASSERT_TRUE(pipetest::WaitUntil([&] { return WindowText(viewer.Control(kIdLogging)) == kStopText; }, kWait));
    size_t nMark = ReadRawLog().size();

    viewer.Click(kIdLogging);
    EXPECT_TRUE(pipetest::WaitUntil([&] { return WindowText(viewer.Control(kIdLogging)) == kStartText; }, kWait));
    EXPECT_EQ(0u, ReadDword(kProductKey, L"Function"));
    EXPECT_TRUE(WaitForRecords(nMark, WithStatus(6), 1));

    nMark = ReadRawLog().size();
    viewer.Click(kIdLogging);
    EXPECT_TRUE(pipetest::WaitUntil([&] { return WindowText(viewer.Control(kIdLogging)) == kStopText; }, kWait));
    EXPECT_EQ(1u, ReadDword(kProductKey, L"Function"));
    EXPECT_TRUE(WaitForRecords(nMark, WithStatus(5), 1));

    ASSERT_EQ(0u, RunQuomonsv({L"/STOP"}));
    viewer.Click(kIdLogging);
    Sleep(kQuietSpan);
    EXPECT_EQ(kStopText, WindowText(viewer.Control(kIdLogging)));
}

// F1 anywhere in the main window and the help button open the help file beside the
// program in the HTML Help window.
TEST_F(ViewerOpen, F1AndTheHelpButtonOpenHelp)
{
    ASSERT_TRUE(testsupport::FileExists(ProgramPath(L"QuoViewer.chm")));

    SetForegroundWindow(viewer.MainWindow());
    SetFocus(viewer.Control(kIdLogging));
    INPUT keys[2] = {};
    keys[0].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = VK_F1;
    keys[1] = keys[0];
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(2u, SendInput(2, keys, sizeof(INPUT)));
    HWND hHelp = WaitForProcessWindow(viewer.Process().Id(), kHelpWindowClass);
    ASSERT_NE(nullptr, hHelp);
    EXPECT_EQ(HelpTitle(L"QUO Viewer ヘルプ"), WindowText(hHelp));
    PostMessageW(hHelp, WM_CLOSE, 0, 0);
    ASSERT_TRUE(pipetest::WaitUntil([&] { return !IsWindow(hHelp); }, kWait));

    viewer.Click(kIdHelp);
    EXPECT_NE(nullptr, WaitForProcessWindow(viewer.Process().Id(), kHelpWindowClass));
}

// A live record one byte short changes nothing on screen (the viewer drops it; the pipe
// transport already refuses one longer than the largest command); the same record of the
// right size shows its plan name. The service samples once a minute here, so that its
// own records do not cover the one sent.
TEST_F(ViewerWithService, SysInfoOfWrongSizeChangesNothing)
{
    // Restarted with it; stopped at the end, so that the next test starts it as it was.
    struct SlowSampling {
        SlowSampling() { SetDword(kDevInfoKey, L"Interval", 60000); }
        ~SlowSampling()
        {
            SetDword(kDevInfoKey, L"Interval", 1000);
            RunQuomonsv({L"/STOP"});
        }
    } slow;
    ASSERT_EQ(0u, RunQuomonsv({L"/STOP"}));
    ASSERT_EQ(0u, RunStartSwitch());
    CViewer viewer;
    ASSERT_TRUE(viewer.Start());
    ASSERT_NE(nullptr, viewer.WaitForMainWindow());
    HWND hPlan = viewer.Control(kIdPlanName);
    ASSERT_NE(nullptr, hPlan);
    const wchar_t kPlan[] = L"テスト用プラン";
    EXPECT_EQ(0u, SendAsService(viewer.Process().Id(), SysInfo(kPlan, sizeof(QVPipeCmdNotifySysInfo) - 1u)));
    EXPECT_FALSE(pipetest::WaitUntil([&] { return WindowText(hPlan) == kPlan; }, kQuietSpan));
    EXPECT_EQ(0u, SendAsService(viewer.Process().Id(), SysInfo(kPlan)));
    EXPECT_TRUE(pipetest::WaitUntil([&] { return WindowText(hPlan) == kPlan; }, kWait));
    EXPECT_EQ(0u, viewer.Close());
}

// Closing the viewer while records keep arriving ends it: the receive thread never
// waits for the window, which waits for the receive thread while it closes.
TEST_F(ViewerOpen, ClosesWhileRecordsKeepArriving)
{
    DWORD dwId = viewer.Process().Id();
    std::atomic<bool> bStop(false);
    std::atomic<int> nSent(0);
    std::thread sender([&] {
        while (!bStop) {
            if (SendAsService(dwId, SysInfo(L"流れ続ける記録")) == 0) {
                ++nSent;
            }
        }
    });
    ASSERT_TRUE(pipetest::WaitUntil([&] { return nSent >= 20; }, kWait));
    EXPECT_EQ(0u, viewer.Close());
    bStop = true;
    sender.join();
}

}  // namespace
