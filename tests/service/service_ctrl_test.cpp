// The service controller driven in process on a simulated desktop PC: records around
// power transitions, the function switch, failing readings, power-setting changes,
// level callbacks, the pipe commands both ways and the paths of Windows XP.
#include "IntegrationSupport.h"
#include "QuoLevel.h"
#include "QuoLog.h"
#include "ServiceCtrl.h"
#include "SimSetting.h"
#include "WinVer.h"

using namespace integ;
using namespace rawlog;

namespace {

const wchar_t kPsrdKey[] = L"ZAVPSRD";
const wchar_t kQuoLevelKey[] = L"QuoLevel";
const wchar_t kDspInfoKey[] = L"Software\\ZAV\\QUOViewer\\DspInfo\\ABC1234";

class ServiceCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey);
        SetDword(kDevInfoKey, L"Interval", 1000);
        m_nBefore = ReadRawLog().size();
    }

    void TearDown() override
    {
        Stop();
        CWinVer::ClearEmulatedVersion();
    }

    void Start()
    {
        ASSERT_EQ(0u, m_ctrl.InitializeEx());
        ASSERT_EQ(0u, m_ctrl.BeforeMainLoop(nullptr));
        m_bRunning = true;
    }

    // Starts and connects the client, waiting for its greeting.
    void StartConnected()
    {
        ASSERT_NO_FATAL_FAILURE(Start());
        ASSERT_EQ(0u, m_client.Connect());
        ASSERT_TRUE(WaitForCommands(m_client.Log(), 0, PIPECMD_NOTIFY_SYSINFO));
    }

    // Ends the run, which writes END and flushes the log; repeatable.
    void Stop()
    {
        if (m_bRunning) {
            m_ctrl.AfterMainLoop(nullptr);
            m_ctrl.FinalizeEx();
            m_bRunning = false;
        }
    }

    // Ends the run; the records written since the test began.
    std::vector<Record> StopAndRead()
    {
        Stop();
        std::vector<Record> all = ReadRawLog();
        return std::vector<Record>(all.begin() + std::min(m_nBefore, all.size()), all.end());
    }

    // A power-setting broadcast of cbData bytes of lpData.
    void PowerSetting(const GUID& setting, const void* lpData, DWORD cbData)
    {
        std::vector<BYTE> storage(offsetof(POWERBROADCAST_SETTING, Data) + cbData, 0);
        auto* pSetting = reinterpret_cast<POWERBROADCAST_SETTING*>(storage.data());
        pSetting->PowerSetting = setting;
        pSetting->DataLength = cbData;
        CopyMemory(pSetting->Data, lpData, cbData);
        m_ctrl.OnPowerEvent(PBT_POWERSETTINGCHANGE, pSetting);
    }

    void MonitorPower(DWORD dwOn) { PowerSetting(GUID_MONITOR_POWER_ON, &dwOn, sizeof(dwOn)); }

    // Sends a command and returns once the controller has taken it: the server takes one
    // message at a time, so the ACK of a command it ignores comes only after that.
    void SendAndSettle(const void* lpData, DWORD cb)
    {
        EXPECT_EQ(0u, m_client.Send(lpData, cb));
        const DWORD dwIgnored = 0x7777;
        EXPECT_EQ(0u, m_client.Send(&dwIgnored, sizeof(dwIgnored)));
    }

    // One tick; the sample it sends to the client, as handle 0.
    QVPipeCmdNotifySysInfo Tick()
    {
        size_t nMark = m_client.Mark();
        m_ctrl.OnTimer(0);
        pipetest::CEventLog::Record sample = WaitForCommand(m_client.Log(), nMark, PIPECMD_NOTIFY_SYSINFO);
        EXPECT_EQ(0u, sample.dwClientHandle) << "the service sends as 0";
        return CommandAs<QVPipeCmdNotifySysInfo>(sample);
    }

    CServiceCtrl m_ctrl;
    CTestClient m_client;
    size_t m_nBefore = 0;
    bool m_bRunning = false;
};

// A resume without suspend and other events write nothing; suspending twice and resuming
// twice give one TO_S3S4 and one FROM_S3S4, with no sample while asleep. Event records
// carry the power status and the battery fields only.
TEST_F(ServiceCtrlTest, SuspendAndResumeGiveOneRecordEachAndNoSampleAsleep)
{
    CSimSetting raw(kPsrdKey, L"Gwat", 0xF8C8);
    Start();
    // Each list of events is followed by a tick; the last resume is of the same suspension.
    for (const auto& events : {std::vector<DWORD>{PBT_APMRESUMEAUTOMATIC, PBT_APMPOWERSTATUSCHANGE, 0x1234},
                               {PBT_APMSUSPEND, PBT_APMSUSPEND}, {PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND}}) {
        for (DWORD dwEvent : events) {
            EXPECT_EQ(0u, m_ctrl.OnPowerEvent(dwEvent, nullptr)) << dwEvent;
        }
        m_ctrl.OnTimer(0);
    }

    auto records = StopAndRead();
    ASSERT_EQ((std::vector<unsigned>{QUOLOG_POWER_START, QUOLOG_POWER_S0, QUOLOG_POWER_TO_S3S4,
                                     QUOLOG_POWER_FROM_S3S4, QUOLOG_POWER_S0, QUOLOG_POWER_END}),
              PowerStatuses(records));
    for (size_t i = 0; i < records.size(); ++i) {
        bool bSample = Number(records[i], COL_POWER_STATUS) == QUOLOG_POWER_S0;
        EXPECT_EQ(bSample ? 100000u : 0u, Number(records[i], COL_PC_WATT)) << i;
        EXPECT_EQ(bSample ? L"バランス" : L"", records[i][COL_POWER_PLAN]) << i;
        EXPECT_EQ(bSample ? 3u : 0u, Number(records[i], COL_QUO_LEVEL)) << i;
        EXPECT_EQ(bSample, !records[i][COL_USER_NAME].empty()) << i;
        EXPECT_EQ(static_cast<unsigned>(QUOLOG_BATTERY_AC), Number(records[i], COL_BATTERY_STATUS)) << i;
    }
}

// "Function" 0: a client is greeted; no records, no sample, nothing on session changes;
// a switch to 2 is refused. Switched on through the pipe, the client is told and sent a
// sample (the first since the greeting: the tick while off sent none); switching on and
// off again stores "Function" and writes START and END.
TEST_F(ServiceCtrlTest, FunctionOffWritesNothingUntilSwitchedOn)
{
    SetDword(kProductKey, L"Function", 0);
    StartConnected();
    size_t nMark = m_client.Mark();
    EXPECT_EQ(0u, m_ctrl.GetFunction());
    m_ctrl.OnTimer(0);
    m_ctrl.OnPowerEvent(PBT_APMSUSPEND, nullptr);
    DWORD dwSession = 1;
    EXPECT_EQ(0u, m_ctrl.OnSessionChange(WTS_SESSION_LOGON, &dwSession));
    EXPECT_EQ(87u, m_ctrl.OnPipeCmdSwitchFunction(2));
    EXPECT_EQ(0u, ReadDword(kProductKey, L"Function"));

    PipeCmdSwitchFunction on = {PIPECMD_SWITCH_FUNCTION, 1};
    EXPECT_EQ(0u, m_client.Send(&on, sizeof(on)));
    ASSERT_TRUE(WaitForCommands(m_client.Log(), nMark, PIPECMD_NOTIFY_SYSINFO));
    EXPECT_EQ(1u, Commands(m_client.Log(), nMark, PIPECMD_SWITCH_FUNCTION).size()) << "a sample while off";
    ASSERT_TRUE(testsupport::WaitUntil([&] { return m_ctrl.GetFunction() == 1; }, kWait));
    EXPECT_EQ(1u, ReadDword(kProductKey, L"Function"));
    m_ctrl.OnTimer(0);
    EXPECT_EQ(0u, m_ctrl.OnPipeCmdSwitchFunction(1));  // no change
    EXPECT_EQ(0u, m_ctrl.OnPipeCmdSwitchFunction(0));
    EXPECT_EQ(0u, ReadDword(kProductKey, L"Function"));
    m_ctrl.OnTimer(0);
    // A tick that was already under way when the function went off writes nothing.
    EXPECT_EQ(0u, m_ctrl.LogRecord().WriteRecord(QUOLOG_POWER_S0, TRUE));
    EXPECT_EQ((std::vector<unsigned>{QUOLOG_POWER_START, QUOLOG_POWER_S0, QUOLOG_POWER_END}),
              PowerStatuses(StopAndRead()));
}

// "Interval" 0 and "DelayWrite" 1 would keep the service from starting: both fall back.
TEST_F(ServiceCtrlTest, SettingsThatWouldStopTheStartFallBack)
{
    SetDword(kDevInfoKey, L"Interval", 0);
    SetDword(kProductKey, L"DelayWrite", 1);
    ASSERT_EQ(0u, m_ctrl.InitializeEx());
    EXPECT_EQ(CServiceCtrl::kDefaultInterval, m_ctrl.GetTimerInterval());
    m_ctrl.FinalizeEx();
}

// The external display's watts come from its DspInfo key by level while it is on
// (added to the sample sent) and from Watt_Level00 while it is off.
TEST_F(ServiceCtrlTest, ExternalDisplayPowerFollowsTheDisplayState)
{
    CSimSetting name(kQuoLevelKey, L"Monitor1Name", L"MONITOR\\ABC1234\\{4d36e96e}");
    CSimSetting level(kQuoLevelKey, L"Monitor1Level", 4);
    SetDword(kDspInfoKey, L"Watt_Level05", 15000);
    SetDword(kDspInfoKey, L"Watt_Level00", 500);
    CSimSetting raw(kPsrdKey, L"Gwat", 0xF8C8);
    StartConnected();
    MonitorPower(1);
    EXPECT_DOUBLE_EQ(115.0, Tick().dWatt);
    MonitorPower(0);
    m_ctrl.OnTimer(0);

    auto records = StopAndRead();
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ(15000u, Number(records[1], COL_MON_WATT));
    EXPECT_EQ(L"MONITOR\\ABC1234\\{4d36e96e}", records[1][COL_MONITOR_NAME1]);
    EXPECT_EQ(50u, Number(records[1], COL_LCD_LEVEL1));
    EXPECT_EQ(500u, Number(records[2], COL_MON_WATT));
}

// Each tick records what it read: a failing driver and a reading the rules refuse
// (another exponent) give 23000 mW; the display's power state reaches both monitor
// columns (a broadcast without data or of another setting changes nothing, a short one
// counts as an unknown state); with "CnrFlag" 1 the QUO scheme has a reduction of 3000
// mW, the power saver none; a level change is read at the next tick (a failure answer
// records 0). A display update request reaches the clients.
TEST_F(ServiceCtrlTest, EachTickRecordsWhatItRead)
{
    SetDword(kProductKey, L"CnrFlag", 1);
    Start();
    ASSERT_EQ(0u, m_client.Connect());
    const GUID quoScheme = {0x5a560051, 0x554f, 0x4a50, {0x8c, 0x41, 0x4e, 0x00, 0x00, 0x00, 0x00, 0x01}};
    const GUID powerSaver = {0xa1841308, 0x3541, 0x4fab, {0xbc, 0x81, 0xf7, 0x15, 0x56, 0xf2, 0x0b, 0x4a}};
    {
        CSimSetting failing(kPsrdKey, L"FailGwat", 1);
        MonitorPower(0);
        m_ctrl.OnTimer(0);
    }
    {
        CSimSetting refused(kPsrdKey, L"Gwat", 0x08C8);
        CSimSetting level(kQuoLevelKey, L"Level", 5);
        EXPECT_TRUE(CServiceCtrl::QuoLevelNotifyProc(QUOLEVEL_LEVEL_CHANGE, &m_ctrl));
        MonitorPower(1);
        PowerSetting(GUID_ACTIVE_POWERSCHEME, &quoScheme, sizeof(GUID));
        m_ctrl.OnTimer(0);
    }
    CSimSetting failure(kQuoLevelKey, L"Level", 0xF002);
    EXPECT_TRUE(CServiceCtrl::QuoLevelNotifyProc(QUOLEVEL_LEVEL_CHANGE, &m_ctrl));
    m_ctrl.OnPowerEvent(PBT_POWERSETTINGCHANGE, nullptr);
    DWORD dwOff = 0;
    PowerSetting(GUID_MONITOR_POWER_ON, &dwOff, 2);
    PowerSetting({0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}}, &dwOff, sizeof(dwOff));
    PowerSetting(GUID_ACTIVE_POWERSCHEME, &powerSaver, sizeof(GUID));
    m_ctrl.OnTimer(0);
    EXPECT_TRUE(CServiceCtrl::QuoLevelNotifyProc(QUOLEVEL_REQUEST_MONITORUPDATE, &m_ctrl));
    EXPECT_EQ(sizeof(DWORD), WaitForCommand(m_client.Log(), 0, PIPECMD_UPDATE_EXTDSPINFO).payload.size());

    auto records = StopAndRead();
    ASSERT_EQ(5u, records.size());
    EXPECT_EQ(23000u, Number(records[1], COL_PC_WATT));
    EXPECT_EQ(23000u, Number(records[2], COL_PC_WATT));
    for (Column column : {COL_MONITOR_STATUS1, COL_MONITOR_STATUS2}) {
        EXPECT_EQ(static_cast<unsigned>(QUOLOG_STATE_OFF), Number(records[1], column));
        EXPECT_EQ(static_cast<unsigned>(QUOLOG_STATE_ON), Number(records[2], column));
    }
    EXPECT_EQ(static_cast<unsigned>(QUOLOG_STATE_UNKNOWN), Number(records[3], COL_MONITOR_STATUS1));
    EXPECT_EQ(L"QUO", records[2][COL_POWER_PLAN]);
    EXPECT_EQ(3000u, Number(records[2], COL_REDUCTION_WATT));
    EXPECT_EQ(5u, Number(records[2], COL_QUO_LEVEL));
    EXPECT_EQ(L"省電力", records[3][COL_POWER_PLAN]);
    EXPECT_EQ(0u, Number(records[3], COL_REDUCTION_WATT));
    EXPECT_EQ(0u, Number(records[3], COL_QUO_LEVEL));
}

// Clients are greeted and get each tick's sample. On later Windows the plan and the
// level come from the system: a client's plan and level request are ignored, and no
// level update is asked of the agents. Malformed switches (a bare code, 12 bytes, a
// payload shorter than a code, one larger than any command) change nothing: the next
// sample comes with no switch before it. (A well-formed switch through the pipe is the
// service's integration test's.)
TEST_F(ServiceCtrlTest, ClientsGetTheSampleAndMalformedSwitchesChangeNothing)
{
    CSimSetting raw(kPsrdKey, L"Gwat", 0xF800 | 25);  // 12.5 W
    StartConnected();
    DWORD dwLevelReads = QuoLevelCalls(L"QuoApiGetActiveQuoLevel");
    PipeCmdActivePowPlan plan = {PIPECMD_ACTIVE_POWERPLAN, L"QUO"};
    EXPECT_EQ(0u, m_client.Send(&plan, sizeof(plan)));
    DWORD dwUpdateLevel = PIPECMD_UPDATE_QUOLEVEL;
    EXPECT_EQ(0u, m_client.Send(&dwUpdateLevel, sizeof(dwUpdateLevel)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), m_ctrl.SendPipe_UpdateQuolevel());
    QVPipeCmdNotifySysInfo info = Tick();
    EXPECT_DOUBLE_EQ(12.5, info.dWatt);
    EXPECT_EQ(3, info.byQuoLevel);
    EXPECT_EQ(static_cast<BYTE>(QUOLOG_BATTERY_AC), info.byBatteryStatus);
    EXPECT_STREQ(L"バランス", info.szPowerPlan);
    EXPECT_EQ(dwLevelReads, QuoLevelCalls(L"QuoApiGetActiveQuoLevel"));

    // The switch's code followed by zeros; only the oversized one is not delivered.
    for (DWORD cb : std::vector<DWORD>{4, 12, 3, PIPECMD_MAX_SIZE + 1}) {
        std::vector<BYTE> command(cb, 0);
        command[0] = PIPECMD_SWITCH_FUNCTION;
        EXPECT_EQ(cb > PIPECMD_MAX_SIZE, m_client.Send(command.data(), cb) != 0) << cb << " bytes";
    }
    Tick();
    EXPECT_TRUE(Commands(m_client.Log(), 0, PIPECMD_SWITCH_FUNCTION).empty());
    EXPECT_EQ(1u, m_ctrl.GetFunction());
    EXPECT_EQ(0xFFFFFFFFu, ReadDword(kProductKey, L"Function"));
    EXPECT_EQ((std::vector<unsigned>{QUOLOG_POWER_START, QUOLOG_POWER_S0, QUOLOG_POWER_S0, QUOLOG_POWER_END}),
              PowerStatuses(StopAndRead()));
}

// On 64-bit Windows XP (5.2) a session change asks the agents to update the level and to
// name the plan; their answer becomes the record's plan, cut when it arrives unterminated.
TEST_F(ServiceCtrlTest, OnWindowsXPTheAgentsNameThePlan)
{
    CWinVer::SetEmulatedVersion(5, 2);
    StartConnected();
    DWORD dwSession = 1;
    EXPECT_EQ(0u, m_ctrl.OnSessionChange(WTS_SESSION_UNLOCK, &dwSession));
    EXPECT_EQ(sizeof(DWORD), WaitForCommand(m_client.Log(), 0, PIPECMD_UPDATE_QUOLEVEL).payload.size());
    auto request = CommandAs<PipeCmdActivePowPlan>(WaitForCommand(m_client.Log(), 0, PIPECMD_ACTIVE_POWERPLAN));
    EXPECT_STREQ(L"", request.szPowPlan);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), m_ctrl.OnSessionChange(WTS_SESSION_UNLOCK, nullptr));

    PipeCmdActivePowPlan plan = {PIPECMD_ACTIVE_POWERPLAN, L"QUO"};
    SendAndSettle(&plan, sizeof(plan));
    m_ctrl.OnTimer(0);
    std::fill(std::begin(plan.szPowPlan), std::end(plan.szPowPlan), L'x');
    SendAndSettle(&plan, sizeof(plan));
    m_ctrl.OnTimer(0);

    auto records = StopAndRead();
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ(L"QUO", records[1][COL_POWER_PLAN]);
    EXPECT_EQ(std::wstring(128, L'x'), records[2][COL_POWER_PLAN]);
}

// A switch-off that waits in the pipe thread's queue behind a send to a silent client,
// with a tick's sample queued behind it: no sample reaches the clients between the
// switch-off and the switch back on. (A tick that sent in its own thread, where a
// silent client would hold up sampling, would also send that sample.)
TEST_F(ServiceCtrlTest, NoSampleFollowsASwitchOff)
{
    StartConnected();
    // A client registered by hand whose receive pipe takes every message and never
    // answers: each send to it waits for the ACK's time-out, which keeps the pipe thread busy.
    std::wstring silentName = pipetest::ClientPipeName(L"QUOViewer", 0xdead0002u);
    std::vector<CScopedFileHandle> silent;
    for (int i = 0; i < 4; ++i) {
        silent.emplace_back(CreateNamedPipeW(silentName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 4,
                                             1024, 1024, 0, nullptr));
        ASSERT_TRUE(silent.back().IsValid());
    }
    DWORD dwHandle = 0;
    ASSERT_EQ(0u, pipetest::RawExchange(pipetest::CtrlPipeName(kPipeSuffix), pipetest::ConnectRequest(silentName),
                                        &dwHandle));
    ASSERT_NE(0u, dwHandle);

    size_t nMark = m_client.Mark();
    PipeCmdSwitchFunction off = {PIPECMD_SWITCH_FUNCTION, 0};
    SendAndSettle(&off, sizeof(off));  // the switch-off is queued
    m_ctrl.OnTimer(0);
    ASSERT_EQ(1u, m_ctrl.GetFunction()) << "the pipe thread was free: the tick came after the switch-off";
    WaitForCommand(m_client.Log(), nMark, PIPECMD_SWITCH_FUNCTION);
    silent.clear();  // the silent client leaves
    PipeCmdSwitchFunction on = {PIPECMD_SWITCH_FUNCTION, 1};
    EXPECT_EQ(0u, m_client.Send(&on, sizeof(on)));
    ASSERT_TRUE(WaitForCommands(m_client.Log(), nMark, PIPECMD_SWITCH_FUNCTION, 2));
    ASSERT_TRUE(WaitForCommands(m_client.Log(), nMark, PIPECMD_NOTIFY_SYSINFO));  // sent on switching on

    // Only that one: the tick's sample, queued behind the switch-off, was dropped.
    EXPECT_EQ(1u, Commands(m_client.Log(), nMark, PIPECMD_NOTIFY_SYSINFO).size());
}

}  // namespace
