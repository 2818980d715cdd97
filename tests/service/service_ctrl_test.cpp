// The service controller driven in process on a simulated desktop PC: records around
// power transitions, the function switch, failing readings, power-setting changes,
// level callbacks, the pipe commands both ways and the paths of Windows XP.
#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pipe.h"
#include "PipeCl.h"
#include "PipeCmd.h"
#include "QuoLevel.h"
#include "QuoLog.h"
#include "RawLog.h"
#include "ServiceCtrl.h"
#include "SimSetting.h"
#include "TestSupport.h"
#include "WinVer.h"

using namespace rawlog;

namespace {

const wchar_t kProductKey[] = L"Software\\ZAV\\QUOViewer";
const wchar_t kDevInfoKey[] = L"Software\\ZAV\\QUOViewer\\DevInfo";
const wchar_t kPsrdKey[] = L"ZAVPSRD";
const wchar_t kQuoLevelKey[] = L"QuoLevel";
const DWORD kWaitMs = 15000;

void SetProductDword(const wchar_t* lpKey, const wchar_t* lpName, DWORD dwValue)
{
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, lpKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
    RegSetValueExW(hKey, lpName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
    RegCloseKey(hKey);
}

DWORD ProductDword(const wchar_t* lpName, DWORD dwDefault)
{
    DWORD dwValue = dwDefault;
    DWORD cb = sizeof(dwValue);
    RegGetValueW(HKEY_LOCAL_MACHINE, kProductKey, lpName, RRF_RT_REG_DWORD, nullptr, &dwValue, &cb);
    return dwValue;
}

// A pipe client of the service in this process, keeping every command it receives.
class CTestClient {
public:
    ~CTestClient() { m_client.Finalize(nullptr); }

    DWORD Connect()
    {
        DWORD dwClientId = 0;
        return m_client.Initialize(CPipeCl::kModeReceiveAndSend, L"QUOViewer", &dwClientId, OnRecv, this, nullptr);
    }

    DWORD Send(const void* lpCmd, DWORD cbCmd)
    {
        DWORD dwRetCode = 0;
        return m_client.Send(lpCmd, cbCmd, &dwRetCode, nullptr);
    }

    // Waits for the next command dwCmd (dropping others before it); empty on time-out.
    std::vector<BYTE> WaitFor(DWORD dwCmd, DWORD dwTimeoutMs = kWaitMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwTimeoutMs);
        for (;;) {
            while (!m_received.empty()) {
                std::vector<BYTE> payload = std::move(m_received.front());
                m_received.pop_front();
                if (payload.size() >= sizeof(DWORD) && *reinterpret_cast<DWORD*>(payload.data()) == dwCmd) {
                    return payload;
                }
            }
            if (m_cv.wait_until(lock, deadline) == std::cv_status::timeout && m_received.empty()) {
                return {};
            }
        }
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_received.clear();
    }

private:
    static void OnRecv(LPVOID lpData, PipeEvent* pEvent)
    {
        CTestClient* pThis = static_cast<CTestClient*>(lpData);
        if (pEvent->dwEvent != PIPEEVENT_RECEIVED) {
            return;
        }
        std::vector<BYTE> payload(pEvent->dwDataSize);
        payload.resize(pThis->m_client.GetReceivedData(payload.data(), pEvent->dwDataSize));
        std::lock_guard<std::mutex> lock(pThis->m_mutex);
        pThis->m_received.push_back(std::move(payload));
        pThis->m_cv.notify_all();
    }

    CPipeCl m_client;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::vector<BYTE>> m_received;
};

QVPipeCmdNotifySysInfo AsSysInfo(const std::vector<BYTE>& payload)
{
    QVPipeCmdNotifySysInfo info = {};
    EXPECT_EQ(sizeof(info), payload.size());
    CopyMemory(&info, payload.data(), std::min(sizeof(info), payload.size()));
    return info;
}

POWERBROADCAST_SETTING* BuildSetting(std::vector<BYTE>& storage, const GUID& setting, const void* lpData, DWORD cbData)
{
    storage.assign(offsetof(POWERBROADCAST_SETTING, Data) + cbData, 0);
    auto* pSetting = reinterpret_cast<POWERBROADCAST_SETTING*>(storage.data());
    pSetting->PowerSetting = setting;
    pSetting->DataLength = cbData;
    CopyMemory(pSetting->Data, lpData, cbData);
    return pSetting;
}

class ServiceCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey);
        SetProductDword(kDevInfoKey, L"Interval", 1000);
        m_nBefore = ReadAll().size();
    }

    void TearDown() override { CWinVer::ClearEmulatedVersion(); }

    void Start(CServiceCtrl& ctrl)
    {
        ASSERT_EQ(0u, ctrl.InitializeEx());
        ASSERT_EQ(0u, ctrl.BeforeMainLoop(nullptr));
    }

    void Stop(CServiceCtrl& ctrl)
    {
        ctrl.AfterMainLoop(nullptr);
        ctrl.FinalizeEx();
    }

    // The records written since the test began; call after Stop, which flushes.
    std::vector<Record> NewRecords()
    {
        std::vector<Record> all = ReadAll();
        return std::vector<Record>(all.begin() + std::min(m_nBefore, all.size()), all.end());
    }

    size_t m_nBefore = 0;
};

TEST_F(ServiceCtrlTest, TwoSuspendsAndResumesGiveOneRecordEachAndNoSampleAsleep)
{
    CServiceCtrl ctrl;
    Start(ctrl);
    ctrl.OnTimer(0);
    EXPECT_EQ(0u, ctrl.OnPowerEvent(PBT_APMSUSPEND, nullptr));
    EXPECT_EQ(0u, ctrl.OnPowerEvent(PBT_APMSUSPEND, nullptr));
    ctrl.OnTimer(0);  // asleep: not written
    EXPECT_EQ(0u, ctrl.OnPowerEvent(PBT_APMRESUMEAUTOMATIC, nullptr));
    EXPECT_EQ(0u, ctrl.OnPowerEvent(PBT_APMRESUMESUSPEND, nullptr));  // the same suspension
    ctrl.OnTimer(0);
    Stop(ctrl);

    auto records = NewRecords();
    EXPECT_EQ((std::vector<unsigned>{QUOLOG_POWER_START, QUOLOG_POWER_S0, QUOLOG_POWER_TO_S3S4,
                                     QUOLOG_POWER_FROM_S3S4, QUOLOG_POWER_S0, QUOLOG_POWER_END}),
              PowerStatuses(records));
}

TEST_F(ServiceCtrlTest, ResumeWithoutSuspendWritesNothing)
{
    CServiceCtrl ctrl;
    Start(ctrl);
    ctrl.OnPowerEvent(PBT_APMRESUMEAUTOMATIC, nullptr);
    ctrl.OnPowerEvent(PBT_APMPOWERSTATUSCHANGE, nullptr);
    ctrl.OnPowerEvent(0x1234, nullptr);
    Stop(ctrl);
    EXPECT_EQ((std::vector<unsigned>{QUOLOG_POWER_START, QUOLOG_POWER_END}), PowerStatuses(NewRecords()));
}

TEST_F(ServiceCtrlTest, EventRecordsCarryOnlyPowerStatusAndBattery)
{
    CSimSetting raw(kPsrdKey, L"Gwat", 0xF8C8);
    CServiceCtrl ctrl;
    Start(ctrl);
    ctrl.OnTimer(0);
    ctrl.OnPowerEvent(PBT_APMSUSPEND, nullptr);
    ctrl.OnPowerEvent(PBT_APMRESUMEAUTOMATIC, nullptr);
    Stop(ctrl);

    auto records = NewRecords();
    ASSERT_EQ(5u, records.size());
    const Record& sample = records[1];
    EXPECT_EQ(100000u, Number(sample, COL_PC_WATT));
    EXPECT_EQ(L"バランス", sample[COL_POWER_PLAN]);
    EXPECT_EQ(3u, Number(sample, COL_QUO_LEVEL));
    EXPECT_FALSE(sample[COL_USER_NAME].empty());
    for (size_t i : {0u, 2u, 3u, 4u}) {
        const Record& event = records[i];
        EXPECT_EQ(0u, Number(event, COL_PC_WATT)) << i;
        EXPECT_EQ(L"", event[COL_POWER_PLAN]) << i;
        EXPECT_EQ(0u, Number(event, COL_QUO_LEVEL)) << i;
        EXPECT_EQ(L"", event[COL_USER_NAME]) << i;
        EXPECT_EQ(static_cast<unsigned>(QUOLOG_BATTERY_AC), Number(event, COL_BATTERY_STATUS)) << i;
    }
}

TEST_F(ServiceCtrlTest, FailingOrOutOfRangeReadingsRecord23000)
{
    CServiceCtrl ctrl;
    Start(ctrl);
    {
        CSimSetting fail(kPsrdKey, L"FailGwat", 1);
        ctrl.OnTimer(0);
    }
    {
        CSimSetting badExponent(kPsrdKey, L"Gwat", 0x08C8);
        ctrl.OnTimer(0);
    }
    {
        CSimSetting tooLarge(kPsrdKey, L"Gwat", 0xF800 | 400);  // 200.0 W
        ctrl.OnTimer(0);
    }
    {
        CSimSetting good(kPsrdKey, L"Gwat", 0xF800 | 399);  // 199.5 W
        ctrl.OnTimer(0);
    }
    Stop(ctrl);

    auto records = NewRecords();
    ASSERT_EQ(6u, records.size());
    EXPECT_EQ(23000u, Number(records[1], COL_PC_WATT));
    EXPECT_EQ(23000u, Number(records[2], COL_PC_WATT));
    EXPECT_EQ(23000u, Number(records[3], COL_PC_WATT));
    EXPECT_EQ(199500u, Number(records[4], COL_PC_WATT));
}

TEST_F(ServiceCtrlTest, FunctionOffWritesNothingUntilSwitchedOn)
{
    SetProductDword(kProductKey, L"Function", 0);
    CServiceCtrl ctrl;
    Start(ctrl);
    EXPECT_EQ(0u, ctrl.GetFunction());
    ctrl.OnTimer(0);
    ctrl.OnPowerEvent(PBT_APMSUSPEND, nullptr);
    DWORD dwSession = 1;
    EXPECT_EQ(0u, ctrl.OnSessionChange(WTS_SESSION_LOGON, &dwSession));
    EXPECT_EQ(87u, ctrl.OnPipeCmdSwitchFunction(2));  // refused
    EXPECT_EQ(0u, ProductDword(L"Function", 99));

    EXPECT_EQ(0u, ctrl.OnPipeCmdSwitchFunction(1));
    EXPECT_EQ(1u, ProductDword(L"Function", 99));
    ctrl.OnTimer(0);
    EXPECT_EQ(0u, ctrl.OnPipeCmdSwitchFunction(1));  // no change
    EXPECT_EQ(0u, ctrl.OnPipeCmdSwitchFunction(0));
    EXPECT_EQ(0u, ProductDword(L"Function", 99));
    ctrl.OnTimer(0);
    // A tick that was already under way when the function went off writes nothing.
    EXPECT_EQ(0u, ctrl.LogRecord().WriteRecord(QUOLOG_POWER_S0, TRUE));
    Stop(ctrl);

    EXPECT_EQ((std::vector<unsigned>{QUOLOG_POWER_START, QUOLOG_POWER_S0, QUOLOG_POWER_END}),
              PowerStatuses(NewRecords()));
}

TEST_F(ServiceCtrlTest, SettingsThatWouldStopTheStartFallBack)
{
    SetProductDword(kDevInfoKey, L"Interval", 0);
    SetProductDword(kProductKey, L"DelayWrite", 1);
    CServiceCtrl ctrl;
    ASSERT_EQ(0u, ctrl.InitializeEx());
    EXPECT_EQ(CServiceCtrl::kDefaultInterval, ctrl.GetTimerInterval());
    ctrl.FinalizeEx();
}

TEST_F(ServiceCtrlTest, DisplayPowerSettingsReachTheRecord)
{
    CServiceCtrl ctrl;
    Start(ctrl);
    std::vector<BYTE> storage;
    DWORD dwOff = 0;
    DWORD dwOn = 1;
    ctrl.OnPowerEvent(PBT_POWERSETTINGCHANGE, BuildSetting(storage, GUID_MONITOR_POWER_ON, &dwOff, sizeof(dwOff)));
    ctrl.OnTimer(0);
    ctrl.OnPowerEvent(PBT_POWERSETTINGCHANGE, BuildSetting(storage, GUID_MONITOR_POWER_ON, &dwOn, sizeof(dwOn)));
    ctrl.OnTimer(0);
    // A record without data or of another setting changes nothing.
    ctrl.OnPowerEvent(PBT_POWERSETTINGCHANGE, nullptr);
    ctrl.OnPowerEvent(PBT_POWERSETTINGCHANGE, BuildSetting(storage, GUID_MONITOR_POWER_ON, &dwOff, 2));
    GUID unknown = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    ctrl.OnPowerEvent(PBT_POWERSETTINGCHANGE, BuildSetting(storage, unknown, &dwOff, sizeof(dwOff)));
    ctrl.OnTimer(0);
    Stop(ctrl);

    auto records = NewRecords();
    ASSERT_EQ(5u, records.size());
    EXPECT_EQ(static_cast<unsigned>(QUOLOG_STATE_OFF), Number(records[1], COL_MONITOR_STATUS1));
    EXPECT_EQ(static_cast<unsigned>(QUOLOG_STATE_OFF), Number(records[1], COL_MONITOR_STATUS2));
    EXPECT_EQ(static_cast<unsigned>(QUOLOG_STATE_ON), Number(records[2], COL_MONITOR_STATUS1));
    EXPECT_EQ(static_cast<unsigned>(QUOLOG_STATE_ON), Number(records[2], COL_MONITOR_STATUS2));
    // A short record counts as an unknown state.
    EXPECT_EQ(static_cast<unsigned>(QUOLOG_STATE_UNKNOWN), Number(records[3], COL_MONITOR_STATUS1));
}

TEST_F(ServiceCtrlTest, ExternalDisplayPowerFollowsTheDisplayState)
{
    CSimSetting name(kQuoLevelKey, L"Monitor1Name", L"MONITOR\\ABC1234\\{4d36e96e}");
    CSimSetting level(kQuoLevelKey, L"Monitor1Level", 4);
    SetProductDword(L"Software\\ZAV\\QUOViewer\\DspInfo\\ABC1234", L"Watt_Level05", 15000);
    SetProductDword(L"Software\\ZAV\\QUOViewer\\DspInfo\\ABC1234", L"Watt_Level00", 500);
    CSimSetting raw(kPsrdKey, L"Gwat", 0xF8C8);
    CServiceCtrl ctrl;
    Start(ctrl);
    CTestClient client;
    ASSERT_EQ(0u, client.Connect());
    ASSERT_FALSE(client.WaitFor(PIPECMD_NOTIFY_SYSINFO).empty());  // the greeting
    std::vector<BYTE> storage;
    DWORD dwOn = 1;
    DWORD dwOff = 0;
    ctrl.OnPowerEvent(PBT_POWERSETTINGCHANGE, BuildSetting(storage, GUID_MONITOR_POWER_ON, &dwOn, sizeof(dwOn)));
    ctrl.OnTimer(0);
    QVPipeCmdNotifySysInfo info = AsSysInfo(client.WaitFor(PIPECMD_NOTIFY_SYSINFO));
    EXPECT_DOUBLE_EQ(115.0, info.dWatt);
    ctrl.OnPowerEvent(PBT_POWERSETTINGCHANGE, BuildSetting(storage, GUID_MONITOR_POWER_ON, &dwOff, sizeof(dwOff)));
    ctrl.OnTimer(0);
    Stop(ctrl);

    auto records = NewRecords();
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ(15000u, Number(records[1], COL_MON_WATT));
    EXPECT_EQ(L"MONITOR\\ABC1234\\{4d36e96e}", records[1][COL_MONITOR_NAME1]);
    EXPECT_EQ(50u, Number(records[1], COL_LCD_LEVEL1));
    EXPECT_EQ(500u, Number(records[2], COL_MON_WATT));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\ZAV\\QUOViewer\\DspInfo");
}

TEST_F(ServiceCtrlTest, ActiveSchemeChangeAndReductionPower)
{
    SetProductDword(kProductKey, L"CnrFlag", 1);
    CServiceCtrl ctrl;
    Start(ctrl);
    std::vector<BYTE> storage;
    const GUID quoScheme = {0x5a560051, 0x554f, 0x4a50, {0x8c, 0x41, 0x4e, 0x00, 0x00, 0x00, 0x00, 0x01}};
    const GUID powerSaver = {0xa1841308, 0x3541, 0x4fab, {0xbc, 0x81, 0xf7, 0x15, 0x56, 0xf2, 0x0b, 0x4a}};
    ctrl.OnPowerEvent(PBT_POWERSETTINGCHANGE, BuildSetting(storage, GUID_ACTIVE_POWERSCHEME, &quoScheme, sizeof(GUID)));
    ctrl.OnTimer(0);
    ctrl.OnPowerEvent(PBT_POWERSETTINGCHANGE, BuildSetting(storage, GUID_ACTIVE_POWERSCHEME, &powerSaver, sizeof(GUID)));
    ctrl.OnTimer(0);
    Stop(ctrl);

    auto records = NewRecords();
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ(L"QUO", records[1][COL_POWER_PLAN]);
    EXPECT_EQ(3000u, Number(records[1], COL_REDUCTION_WATT));
    EXPECT_EQ(L"省電力", records[2][COL_POWER_PLAN]);
    EXPECT_EQ(0u, Number(records[2], COL_REDUCTION_WATT));
}

TEST_F(ServiceCtrlTest, LevelCallbacksAndTheirFailures)
{
    CServiceCtrl ctrl;
    Start(ctrl);
    CTestClient client;
    ASSERT_EQ(0u, client.Connect());
    {
        CSimSetting level(kQuoLevelKey, L"Level", 5);
        EXPECT_TRUE(CServiceCtrl::QuoLevelNotifyProc(QUOLEVEL_LEVEL_CHANGE, &ctrl));
        ctrl.OnTimer(0);
        CSimSetting failure(kQuoLevelKey, L"Level", 0xF002);
        EXPECT_TRUE(CServiceCtrl::QuoLevelNotifyProc(QUOLEVEL_LEVEL_CHANGE, &ctrl));
        ctrl.OnTimer(0);
    }
    EXPECT_FALSE(CServiceCtrl::QuoLevelNotifyProc(QUOLEVEL_LEVEL_CHANGE, nullptr));
    EXPECT_TRUE(CServiceCtrl::QuoLevelNotifyProc(99, &ctrl));
    EXPECT_TRUE(CServiceCtrl::QuoLevelNotifyProc(QUOLEVEL_REQUEST_MONITORUPDATE, &ctrl));
    EXPECT_EQ(sizeof(DWORD), client.WaitFor(PIPECMD_UPDATE_EXTDSPINFO).size());
    Stop(ctrl);

    auto records = NewRecords();
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ(5u, Number(records[1], COL_QUO_LEVEL));
    EXPECT_EQ(0u, Number(records[2], COL_QUO_LEVEL));
}

TEST_F(ServiceCtrlTest, ClientsGetTheSampleAndSwitchTheFunction)
{
    CSimSetting raw(kPsrdKey, L"Gwat", 0xF800 | 25);  // 12.5 W
    CServiceCtrl ctrl;
    Start(ctrl);
    CTestClient client;
    ASSERT_EQ(0u, client.Connect());
    // Greeted on connection, then one sample each tick.
    EXPECT_FALSE(client.WaitFor(PIPECMD_NOTIFY_SYSINFO).empty());
    ctrl.OnTimer(0);
    QVPipeCmdNotifySysInfo info = AsSysInfo(client.WaitFor(PIPECMD_NOTIFY_SYSINFO));
    EXPECT_DOUBLE_EQ(12.5, info.dWatt);
    EXPECT_EQ(3, info.byQuoLevel);
    EXPECT_EQ(static_cast<BYTE>(QUOLOG_BATTERY_AC), info.byBatteryStatus);
    EXPECT_STREQ(L"バランス", info.szPowerPlan);

    // Malformed switches change nothing: a short one, and a payload shorter than a command.
    DWORD dwShort = PIPECMD_SWITCH_FUNCTION;
    EXPECT_EQ(0u, client.Send(&dwShort, sizeof(dwShort)));
    BYTE tiny[3] = {PIPECMD_SWITCH_FUNCTION, 0, 0};
    EXPECT_EQ(0u, client.Send(tiny, sizeof(tiny)));
    PipeCmdSwitchFunction off = {PIPECMD_SWITCH_FUNCTION, 0};
    EXPECT_EQ(0u, client.Send(&off, sizeof(off)));
    std::vector<BYTE> reply = client.WaitFor(PIPECMD_SWITCH_FUNCTION);
    ASSERT_EQ(sizeof(PipeCmdSwitchFunction), reply.size());
    EXPECT_EQ(0u, reinterpret_cast<PipeCmdSwitchFunction*>(reply.data())->dwFunction);
    EXPECT_EQ(0u, ctrl.GetFunction());
    EXPECT_EQ(0u, ProductDword(L"Function", 99));

    PipeCmdSwitchFunction on = {PIPECMD_SWITCH_FUNCTION, 1};
    EXPECT_EQ(0u, client.Send(&on, sizeof(on)));
    reply = client.WaitFor(PIPECMD_SWITCH_FUNCTION);
    ASSERT_EQ(sizeof(PipeCmdSwitchFunction), reply.size());
    EXPECT_EQ(1u, reinterpret_cast<PipeCmdSwitchFunction*>(reply.data())->dwFunction);
    EXPECT_FALSE(client.WaitFor(PIPECMD_NOTIFY_SYSINFO).empty());
    EXPECT_EQ(1u, ProductDword(L"Function", 99));
    Stop(ctrl);

    // The short switch came before the real one: exactly one END and one START.
    EXPECT_EQ((std::vector<unsigned>{QUOLOG_POWER_START, QUOLOG_POWER_S0, QUOLOG_POWER_END, QUOLOG_POWER_START,
                                     QUOLOG_POWER_END}),
              PowerStatuses(NewRecords()));
}

TEST_F(ServiceCtrlTest, OnLaterWindowsThePlanComesFromTheSystem)
{
    CServiceCtrl ctrl;
    Start(ctrl);
    CTestClient client;
    ASSERT_EQ(0u, client.Connect());
    PipeCmdActivePowPlan plan = {PIPECMD_ACTIVE_POWERPLAN, L"QUO"};
    EXPECT_EQ(0u, client.Send(&plan, sizeof(plan)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), ctrl.SendPipe_UpdateQuolevel());
    ctrl.OnTimer(0);
    Stop(ctrl);
    auto records = NewRecords();
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(L"バランス", records[1][COL_POWER_PLAN]);
}

TEST_F(ServiceCtrlTest, OnWindowsXPTheAgentsNameThePlan)
{
    CWinVer::SetEmulatedVersion(5, 1);
    CServiceCtrl ctrl;
    Start(ctrl);
    CTestClient client;
    ASSERT_EQ(0u, client.Connect());
    ASSERT_FALSE(client.WaitFor(PIPECMD_NOTIFY_SYSINFO).empty());  // the greeting

    // A session change asks the agents to refresh the level and to name the plan.
    DWORD dwSession = 1;
    EXPECT_EQ(0u, ctrl.OnSessionChange(WTS_SESSION_UNLOCK, &dwSession));
    EXPECT_EQ(sizeof(DWORD), client.WaitFor(PIPECMD_UPDATE_QUOLEVEL).size());
    std::vector<BYTE> request = client.WaitFor(PIPECMD_ACTIVE_POWERPLAN);
    ASSERT_EQ(sizeof(PipeCmdActivePowPlan), request.size());
    EXPECT_STREQ(L"", reinterpret_cast<PipeCmdActivePowPlan*>(request.data())->szPowPlan);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ctrl.OnSessionChange(WTS_SESSION_UNLOCK, nullptr));

    // The answer becomes the record's plan, also when it arrives unterminated.
    PipeCmdActivePowPlan plan = {PIPECMD_ACTIVE_POWERPLAN, L"QUO"};
    EXPECT_EQ(0u, client.Send(&plan, sizeof(plan)));
    PipeCmdActivePowPlan unterminated;
    unterminated.dwCmd = PIPECMD_ACTIVE_POWERPLAN;
    for (auto& c : unterminated.szPowPlan) {
        c = L'x';
    }
    Sleep(500);
    ctrl.OnTimer(0);
    EXPECT_EQ(0u, client.Send(&unterminated, sizeof(unterminated)));
    Sleep(500);
    ctrl.OnTimer(0);
    Stop(ctrl);

    auto records = NewRecords();
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ(L"QUO", records[1][COL_POWER_PLAN]);
    EXPECT_EQ(std::wstring(128, L'x'), records[2][COL_POWER_PLAN]);
}

TEST_F(ServiceCtrlTest, AClientThatNeverAnswersDoesNotHoldUpSampling)
{
    CServiceCtrl ctrl;
    Start(ctrl);
    // A receive pipe of the clients' form whose owner never reads, registered by hand.
    wchar_t szName[64];
    swprintf(szName, ARRAYSIZE(szName), L"\\\\.\\pipe\\datapipe_QUOViewer%08x", 0xdead0001u);
    HANDLE hMute = CreateNamedPipeW(szName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 1024, 1024, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hMute);
    CPipe ctrlPipe;
    ASSERT_EQ(0u, ctrlPipe.Initialize(CPipe::kModeSend, L"\\\\.\\pipe\\ctrlpipe_QUOViewer", nullptr, nullptr));
    DWORD dwHandle = 0;
    ASSERT_EQ(0u, ctrlPipe.SendRequest(PIPEREQUEST_CONNECT, szName, 0, &dwHandle, nullptr));
    ASSERT_NE(0u, dwHandle);

    // Each send to the mute client waits for its ACK; three ticks together take less.
    ULONGLONG ullStart = GetTickCount64();
    for (int i = 0; i < 3; ++i) {
        ctrl.OnTimer(0);
    }
    EXPECT_LT(GetTickCount64() - ullStart, static_cast<ULONGLONG>(CPipe::kAckTimeout));
    Stop(ctrl);
    ctrlPipe.Finalize(nullptr);
    CloseHandle(hMute);
    EXPECT_EQ((std::vector<unsigned>{QUOLOG_POWER_START, QUOLOG_POWER_S0, QUOLOG_POWER_S0, QUOLOG_POWER_S0,
                                     QUOLOG_POWER_END}),
              PowerStatuses(NewRecords()));
}

}  // namespace
