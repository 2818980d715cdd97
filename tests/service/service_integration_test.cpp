// The monitoring service as the service control manager runs it, on a simulated machine:
// installed, started, stopped and removed through its own switches, sampling the
// simulated hardware into the raw log, and publishing every sample to a pipe client.
// Desktop suites run on the simulated desktop, Notebook on the simulated notebook
// (tests/service/CMakeLists.txt chooses the machine and the suites).
#include <windows.h>

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "IntegrationSupport.h"
#include "PipeCmd.h"
#include "QuoLog.h"
#include "ScopedHandle.h"
#include "SimSetting.h"
#include "TestSupport.h"
#include "WineDifferences.h"

using namespace integ;
using namespace rawlog;

namespace {

// Power-sensor readings in PMBus LINEAR11 with exponent -1 (half watts).
const DWORD kSensor100W = 0xF8C8;
const DWORD kSensor50W = 0xF864;
// Embedded-controller reading in whole watts.
const DWORD kController30W = 30;
// Upper bound for what comes within a tick or two; generous for a loaded machine.
const DWORD kWait = 20000;
// How long a test watches for something that must not happen: two and a half ticks.
const DWORD kQuietSpan = 2500;
const wchar_t kBalanced[] = L"バランス";

// An event record (START, END) carries its power status and the battery fields; every
// other column is zero or empty.
void ExpectEventRecord(const Record& record, DWORD dwStatus, DWORD dwBattStatus, DWORD dwPercent,
                       DWORD dwCapacity)
{
    EXPECT_EQ(dwStatus, Number(record, COL_POWER_STATUS));
    EXPECT_EQ(dwBattStatus, Number(record, COL_BATTERY_STATUS));
    EXPECT_EQ(dwPercent, Number(record, COL_BATTERY_PERCENT));
    EXPECT_EQ(dwCapacity, Number(record, COL_BATTERY_CAPACITY));
    for (Column column : {COL_ELAPSED, COL_PC_WATT, COL_MON_WATT, COL_REDUCTION_WATT, COL_CPU, COL_INPUT, COL_HDD,
                          COL_SCR, COL_MONITOR_STATUS1, COL_LCD_LEVEL1, COL_MONITOR_STATUS2, COL_LCD_LEVEL2,
                          COL_QUO_LEVEL}) {
        EXPECT_EQ(0u, Number(record, column)) << "column " << column + 1 << " of an event record";
    }
    for (Column column : {COL_POWER_PLAN, COL_MONITOR_NAME1, COL_MONITOR_NAME2, COL_USER_NAME}) {
        EXPECT_EQ(L"", record[column]) << "column " << column + 1 << " of an event record";
    }
}

QVPipeCmdNotifySysInfo SysInfo(const pipetest::CEventLog::Record& record)
{
    QVPipeCmdNotifySysInfo info = {};
    EXPECT_EQ(sizeof(info), record.payload.size());
    CopyMemory(&info, record.payload.data(), std::min(sizeof(info), record.payload.size()));
    return info;
}

DWORD SwitchedFunction(const pipetest::CEventLog::Record& record)
{
    PipeCmdSwitchFunction cmd = {};
    EXPECT_EQ(sizeof(cmd), record.payload.size());
    CopyMemory(&cmd, record.payload.data(), std::min(sizeof(cmd), record.payload.size()));
    return cmd.dwFunction;
}

// The configuration the service control manager holds for the service.
struct ServiceConfig {
    DWORD dwServiceType = 0;
    DWORD dwStartType = 0;
    DWORD dwErrorControl = 0;
    std::wstring binaryPath;
    std::wstring dependencies;  // the list with "|" between entries
    std::wstring displayName;
    std::wstring description;
    BOOL bDelayed = FALSE;  // FALSE also where the manager cannot answer (Wine)
};

bool ReadServiceConfig(ServiceConfig* pConfig)
{
    CScopedScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CScopedScHandle service(OpenServiceW(scm.Get(), kServiceName, SERVICE_QUERY_CONFIG));
    if (!service.IsValid()) {
        return false;
    }
    std::vector<BYTE> buffer(8192);
    DWORD cbNeeded = 0;
    auto* pQuery = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service.Get(), pQuery, static_cast<DWORD>(buffer.size()), &cbNeeded)) {
        return false;
    }
    pConfig->dwServiceType = pQuery->dwServiceType;
    pConfig->dwStartType = pQuery->dwStartType;
    pConfig->dwErrorControl = pQuery->dwErrorControl;
    pConfig->binaryPath = pQuery->lpBinaryPathName;
    pConfig->displayName = pQuery->lpDisplayName;
    // Wine's manager answers no dependencies here; both keep them in the service's key.
    WCHAR szDependencies[256] = L"";
    DWORD cbDependencies = sizeof(szDependencies) - 2 * sizeof(WCHAR);
    RegGetValueW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services\\quomonsv", L"DependOnService",
                 RRF_RT_REG_MULTI_SZ, nullptr, szDependencies, &cbDependencies);
    for (LPCWSTR p = szDependencies; *p != L'\0'; p += wcslen(p) + 1) {
        pConfig->dependencies += (pConfig->dependencies.empty() ? L"" : L"|") + std::wstring(p);
    }
    std::vector<BYTE> buffer2(8192);
    if (QueryServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, buffer2.data(),
                             static_cast<DWORD>(buffer2.size()), &cbNeeded)) {
        LPCWSTR lpDescription = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer2.data())->lpDescription;
        pConfig->description = (lpDescription != nullptr) ? lpDescription : L"";
    }
    SERVICE_DELAYED_AUTO_START_INFO delayed = {};
    if (QueryServiceConfig2W(service.Get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                             reinterpret_cast<LPBYTE>(&delayed), sizeof(delayed), &cbNeeded)) {
        pConfig->bDelayed = delayed.fDelayedAutostart;
    }
    return true;
}

bool IsInstalled()
{
    SERVICE_STATUS_PROCESS status = {};
    return QueryService(kServiceName, &status);
}

class ServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(0u, StartWinmgmt()) << "winmgmt does not run"; }

    void SetUp() override
    {
        SetDword(kDevInfoKey, L"Interval", 1000);
        DeleteValue(kProductKey, L"Function");
    }

    void TearDown() override
    {
        // No test leaves the service behind for the next one.
        if (IsInstalled()) {
            EXPECT_EQ(0u, RunQuomonsv({L"/UNINSTALL"}));
        }
    }

    static void InstallAndStart()
    {
        ASSERT_EQ(0u, RunQuomonsv({L"/INSTALL", QuomonsvCommandLine()}));
        ASSERT_EQ(0u, RunQuomonsv({L"/START"}));
    }

    static DWORD ServiceProcessId()
    {
        SERVICE_STATUS_PROCESS status = {};
        EXPECT_TRUE(QueryService(kServiceName, &status));
        EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), status.dwCurrentState);
        return status.dwProcessId;
    }
};

// ---------------------------------------------------------------------------------
// Command line

TEST_F(ServiceTest, SwitchesInstallAndRemoveTheServiceWithTheirExitCodes)
{
    const std::wstring commandLine = QuomonsvCommandLine();
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RunQuomonsv({L"/INSTALL"})) << "no path";
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RunQuomonsv({L"/D", L"/INSTALL"})) << "no path after /INSTALL";
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RunQuomonsv({L"/RESTART"}));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RunQuomonsv({L"/STARTX", commandLine}));
    EXPECT_FALSE(IsInstalled());

    // Controls of a service that is not installed fail with the manager's error, and a
    // /STOP on the line wins over the /INSTALL after it.
    EXPECT_EQ(ERROR_SERVICE_DOES_NOT_EXIST, RunQuomonsv({L"/START"}));
    EXPECT_EQ(ERROR_SERVICE_DOES_NOT_EXIST, RunQuomonsv({L"/UNINSTALL"}));
    EXPECT_EQ(ERROR_SERVICE_DOES_NOT_EXIST, RunQuomonsv({L"/STOP", L"/INSTALL", commandLine}));
    EXPECT_FALSE(IsInstalled());

    // Installed with delayed start, in any letter case. Where the manager cannot store
    // the delayed start, the switch reports its error and the service stays installed.
    const DWORD dwDelayedResult = winediff::DelayedAutoStartConfigError();
    ASSERT_EQ(dwDelayedResult, RunQuomonsv({L"/install", commandLine, L"/d"}));
    ServiceConfig config;
    ASSERT_TRUE(ReadServiceConfig(&config));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), config.dwServiceType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config.dwStartType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), config.dwErrorControl);
    EXPECT_EQ(commandLine, config.binaryPath);
    EXPECT_EQ(L"winmgmt", config.dependencies);
    EXPECT_EQ(L"QUOViewer", config.displayName);
    EXPECT_EQ(L"このコンピューターの消費電力の測定をおこないます。", config.description);
    if (dwDelayedResult == ERROR_SUCCESS) {
        EXPECT_TRUE(config.bDelayed);
    }
    // Installed but not started: auto start happens when a session boots.
    SERVICE_STATUS_PROCESS status = {};
    ASSERT_TRUE(QueryService(kServiceName, &status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);

    // Installing twice succeeds and leaves the first registration.
    EXPECT_EQ(0u, RunQuomonsv({L"/INSTALL", commandLine}));
    ASSERT_TRUE(ReadServiceConfig(&config));
    EXPECT_EQ(dwDelayedResult == ERROR_SUCCESS, config.bDelayed != FALSE);

    // Stopping a stopped service succeeds; removal deletes it.
    EXPECT_EQ(0u, RunQuomonsv({L"/STOP"}));
    EXPECT_EQ(0u, RunQuomonsv({L"/UNINSTALL"}));
    EXPECT_FALSE(IsInstalled());

    // Without /D the start is not delayed.
    ASSERT_EQ(0u, RunQuomonsv({L"/INSTALL", commandLine}));
    config = ServiceConfig();
    ASSERT_TRUE(ReadServiceConfig(&config));
    EXPECT_FALSE(config.bDelayed);
}

// ---------------------------------------------------------------------------------
// Running

TEST_F(ServiceTest, RunsWritingStartSamplesAndEndAndOutlivesASecondCopy)
{
    CSimSetting sensor(L"ZAVPSRD", L"Gwat", kSensor100W);
    size_t nFrom = ReadRawLog().size();
    InstallAndStart();
    DWORD dwProcessId = ServiceProcessId();

    std::vector<Record> records;
    ASSERT_TRUE(WaitForRecords(nFrom, WithStatus(QUOLOG_POWER_S0), 3, kWait, &records));
    ASSERT_GT(records.size(), nFrom);
    // START first, as an event record with the desktop's power source, then samples.
    ExpectEventRecord(records[nFrom], QUOLOG_POWER_START, QUOLOG_BATTERY_AC, 0, 0);
    for (size_t i = nFrom + 1; i < records.size(); ++i) {
        const Record& sample = records[i];
        ASSERT_EQ(static_cast<DWORD>(QUOLOG_POWER_S0), Number(sample, COL_POWER_STATUS)) << "record " << i;
        EXPECT_EQ(1000u, Number(sample, COL_ELAPSED));
        EXPECT_EQ(100000u, Number(sample, COL_PC_WATT));
        EXPECT_EQ(0u, Number(sample, COL_MON_WATT));
        EXPECT_EQ(static_cast<DWORD>(QUOLOG_BATTERY_AC), Number(sample, COL_BATTERY_STATUS));
        EXPECT_EQ(kBalanced, sample[COL_POWER_PLAN]);
        EXPECT_EQ(3u, Number(sample, COL_QUO_LEVEL));
        EXPECT_NE(L"", sample[COL_USER_NAME]);
    }

    // A second copy started by hand meets the log library, which refuses a second
    // writer; the service runs on and goes on sampling.
    EXPECT_EQ(ERROR_ACCESS_DENIED, RunQuomonsv({}));
    size_t nAfter = ReadRawLog().size();
    ASSERT_TRUE(WaitForRecords(nAfter, WithStatus(QUOLOG_POWER_S0), 2, kWait));
    EXPECT_EQ(dwProcessId, ServiceProcessId());
    // Starting a running service succeeds and starts nothing new.
    EXPECT_EQ(0u, RunQuomonsv({L"/START"}));
    EXPECT_EQ(dwProcessId, ServiceProcessId());

    EXPECT_EQ(0u, RunQuomonsv({L"/STOP"}));
    SERVICE_STATUS_PROCESS status = {};
    ASSERT_TRUE(QueryService(kServiceName, &status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
    records = ReadRawLog();
    ASSERT_FALSE(records.empty());
    ExpectEventRecord(records.back(), QUOLOG_POWER_END, QUOLOG_BATTERY_AC, 0, 0);
    // One run: one START and one END, samples between them.
    EXPECT_EQ(1u, Matching(records, nFrom, WithStatus(QUOLOG_POWER_START)).size());
    EXPECT_EQ(1u, Matching(records, nFrom, WithStatus(QUOLOG_POWER_END)).size());
    EXPECT_EQ(records.size() - nFrom - 2, Matching(records, nFrom, WithStatus(QUOLOG_POWER_S0)).size());

    // Started by hand while the service is stopped, the program opens the log and then
    // fails to reach the service manager's dispatcher; it writes nothing.
    EXPECT_EQ(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, RunQuomonsv({}));
    EXPECT_EQ(records.size(), ReadRawLog().size());
}

TEST_F(ServiceTest, PipeClientGetsEverySampleAndSwitchesMeasuringOffAndOn)
{
    CSimSetting sensor(L"ZAVPSRD", L"Gwat", kSensor100W);
    InstallAndStart();
    CTestClient client;
    ASSERT_EQ(0u, client.Connect());
    EXPECT_NE(0u, client.Handle());

    // A greeting on registration, then one message every tick.
    ASSERT_TRUE(WaitForCommands(client.Log(), 0, PIPECMD_NOTIFY_SYSINFO, 3, kWait));
    std::vector<pipetest::CEventLog::Record> infos = Commands(client.Log(), 0, PIPECMD_NOTIFY_SYSINFO);
    for (const auto& record : infos) {
        EXPECT_EQ(0u, record.dwClientHandle) << "the service sends as 0";
        QVPipeCmdNotifySysInfo info = SysInfo(record);
        EXPECT_EQ(3, info.byQuoLevel);
        EXPECT_EQ(kBalanced, std::wstring(info.szPowerPlan));
        EXPECT_EQ(QUOLOG_BATTERY_AC, info.byBatteryStatus);
        EXPECT_EQ(0, info.byBatteryLifePercent);
    }
    EXPECT_EQ(100.0, SysInfo(infos.back()).dWatt);

    // The next samples carry what the sensor reads now.
    sensor.Set(kSensor50W);
    size_t nMark = client.Mark();
    EXPECT_TRUE(pipetest::WaitUntil(
        [&] {
            for (const auto& record : Commands(client.Log(), nMark, PIPECMD_NOTIFY_SYSINFO)) {
                if (SysInfo(record).dWatt == 50.0) {
                    return true;
                }
            }
            return false;
        },
        kWait));

    // Switch commands of a wrong size change nothing, nor do a payload larger than any
    // command (refused unacknowledged) and the commands that only the service of Windows
    // XP takes (it reads the plan and the level itself): measuring goes on as before.
    size_t nRaw = ReadRawLog().size();
    DWORD dwLevelReads = QuoLevelCalls(L"QuoApiGetActiveQuoLevel");
    DWORD dwCodeOnly = PIPECMD_SWITCH_FUNCTION;
    EXPECT_EQ(0u, client.Send(&dwCodeOnly, sizeof(dwCodeOnly)));
    DWORD longCommand[3] = {PIPECMD_SWITCH_FUNCTION, 0, 0};
    EXPECT_EQ(0u, client.Send(longCommand, sizeof(longCommand)));
    const BYTE shortPayload[3] = {PIPECMD_SWITCH_FUNCTION, 0, 0};
    EXPECT_EQ(0u, client.Send(shortPayload, sizeof(shortPayload)));
    std::vector<BYTE> oversized(PIPECMD_MAX_SIZE + 1, 0);
    oversized[0] = PIPECMD_SWITCH_FUNCTION;
    EXPECT_NE(0u, client.Send(oversized.data(), static_cast<DWORD>(oversized.size())));
    PipeCmdActivePowPlan plan = {PIPECMD_ACTIVE_POWERPLAN, L"Bogus"};
    EXPECT_EQ(0u, client.Send(&plan, sizeof(plan)));
    DWORD dwUpdateLevel = PIPECMD_UPDATE_QUOLEVEL;
    EXPECT_EQ(0u, client.Send(&dwUpdateLevel, sizeof(dwUpdateLevel)));
    nMark = client.Mark();
    ASSERT_TRUE(WaitForCommands(client.Log(), nMark, PIPECMD_NOTIFY_SYSINFO, 2, kWait));
    EXPECT_EQ(kBalanced, std::wstring(SysInfo(Commands(client.Log(), nMark, PIPECMD_NOTIFY_SYSINFO)[1]).szPowerPlan));
    EXPECT_EQ(dwLevelReads, QuoLevelCalls(L"QuoApiGetActiveQuoLevel"));
    EXPECT_TRUE(Commands(client.Log(), 0, PIPECMD_SWITCH_FUNCTION).empty());
    DWORD dwFunction = 0;
    EXPECT_FALSE(ReadDword(kProductKey, L"Function", &dwFunction));
    EXPECT_TRUE(Matching(ReadRawLog(), nRaw, WithStatus(QUOLOG_POWER_END)).empty());

    // Off: an END record, "Function" 0, every client told; then no samples at all.
    PipeCmdSwitchFunction off = {PIPECMD_SWITCH_FUNCTION, 0};
    EXPECT_EQ(0u, client.Send(&off, sizeof(off)));
    ASSERT_TRUE(WaitForCommands(client.Log(), 0, PIPECMD_SWITCH_FUNCTION, 1, kWait));
    EXPECT_EQ(0u, SwitchedFunction(Commands(client.Log(), 0, PIPECMD_SWITCH_FUNCTION)[0]));
    std::vector<Record> records;
    ASSERT_TRUE(WaitForRecords(nRaw, WithStatus(QUOLOG_POWER_END), 1, kWait, &records));
    ExpectEventRecord(records.back(), QUOLOG_POWER_END, QUOLOG_BATTERY_AC, 0, 0);
    EXPECT_TRUE(ReadDword(kProductKey, L"Function", &dwFunction));
    EXPECT_EQ(0u, dwFunction);
    nMark = client.Mark();
    size_t nOff = records.size();
    Sleep(kQuietSpan);
    EXPECT_TRUE(Commands(client.Log(), nMark, PIPECMD_NOTIFY_SYSINFO).empty());
    EXPECT_EQ(nOff, ReadRawLog().size());

    // Stopped and started while off, it stays off: no END, no START, no samples; a
    // client registering anew is still greeted.
    client.Disconnect();
    EXPECT_EQ(0u, RunQuomonsv({L"/STOP"}));
    EXPECT_EQ(0u, RunQuomonsv({L"/START"}));
    nMark = client.Mark();
    ASSERT_EQ(0u, client.Connect());
    EXPECT_TRUE(WaitForCommands(client.Log(), nMark, PIPECMD_NOTIFY_SYSINFO, 1, kWait));
    Sleep(kQuietSpan);
    EXPECT_EQ(1u, Commands(client.Log(), nMark, PIPECMD_NOTIFY_SYSINFO).size());
    EXPECT_EQ(nOff, ReadRawLog().size());

    // On: a START record, "Function" 1, every client told and sent a sample; samples again.
    nMark = client.Mark();
    PipeCmdSwitchFunction on = {PIPECMD_SWITCH_FUNCTION, 1};
    EXPECT_EQ(0u, client.Send(&on, sizeof(on)));
    ASSERT_TRUE(WaitForCommands(client.Log(), nMark, PIPECMD_SWITCH_FUNCTION, 1, kWait));
    EXPECT_EQ(1u, SwitchedFunction(Commands(client.Log(), nMark, PIPECMD_SWITCH_FUNCTION)[0]));
    EXPECT_TRUE(WaitForCommands(client.Log(), nMark, PIPECMD_NOTIFY_SYSINFO, 1, kWait));
    ASSERT_TRUE(WaitForRecords(nOff, WithStatus(QUOLOG_POWER_S0), 2, kWait, &records));
    ExpectEventRecord(records[nOff], QUOLOG_POWER_START, QUOLOG_BATTERY_AC, 0, 0);
    EXPECT_EQ(50000u, Number(records.back(), COL_PC_WATT));
    EXPECT_TRUE(ReadDword(kProductKey, L"Function", &dwFunction));
    EXPECT_EQ(1u, dwFunction);
}

// ---------------------------------------------------------------------------------
// Faults

TEST_F(ServiceTest, AStartThatFailsIsReportedWithItsError)
{
    // The level library refuses to initialise: the service cannot start.
    CSimSetting refusal(L"QuoLevel", L"FailInitializeSrv", 1);
    size_t nRaw = ReadRawLog().size();
    ASSERT_EQ(0u, RunQuomonsv({L"/INSTALL", QuomonsvCommandLine()}));
    EXPECT_EQ(ERROR_INVALID_FUNCTION, RunQuomonsv({L"/START"}));
    SERVICE_STATUS_PROCESS status = {};
    ASSERT_TRUE(QueryService(kServiceName, &status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
    EXPECT_EQ(ERROR_INVALID_FUNCTION, status.dwWin32ExitCode);
    std::vector<Record> records = ReadRawLog();
    EXPECT_TRUE(Matching(records, nRaw, WithStatus(QUOLOG_POWER_START)).empty());
    EXPECT_TRUE(Matching(records, nRaw, WithStatus(QUOLOG_POWER_S0)).empty());

    // Once the library initialises again, so does the service.
    refusal.Set(0);
    EXPECT_EQ(0u, RunQuomonsv({L"/START"}));
    EXPECT_TRUE(WaitForRecords(nRaw, WithStatus(QUOLOG_POWER_S0), 1, kWait));
}

TEST_F(ServiceTest, IntervalZeroSamplesAtTheDefaultFiveSeconds)
{
    SetDword(kDevInfoKey, L"Interval", 0);
    size_t nRaw = ReadRawLog().size();
    InstallAndStart();
    std::vector<Record> records;
    ASSERT_TRUE(WaitForRecords(nRaw, WithStatus(QUOLOG_POWER_S0), 1, kWait, &records));
    EXPECT_EQ(5000u, Number(Matching(records, nRaw, WithStatus(QUOLOG_POWER_S0))[0], COL_ELAPSED));
}

// ---------------------------------------------------------------------------------
// Notebook: embedded controller, two batteries and a fake power supply

// Writes one entry of the fake power supply that tools/sim-hw published.
void WritePowerSupply(const std::wstring& entry, const char* lpText)
{
    wchar_t szFolder[MAX_PATH];
    DWORD cbFolder = sizeof(szFolder);
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\ZAVSim\\PowerSupply", L"Folder",
                                          RRF_RT_REG_SZ, nullptr, szFolder, &cbFolder));
    std::wstring path = std::wstring(szFolder) + L"\\" + entry;
    CScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.IsValid()) << testsupport::Narrow(path);
    DWORD cbWritten = 0;
    ASSERT_TRUE(WriteFile(file.Get(), lpText, static_cast<DWORD>(strlen(lpText)), &cbWritten, nullptr));
}

// The power supply: mains online or not, the battery's state and its charge of 5 Ah.
void SetPowerSupply(const char* lpOnline, const char* lpStatus, const char* lpChargeNow)
{
    WritePowerSupply(L"AC\\online", lpOnline);
    WritePowerSupply(L"BAT0\\status", lpStatus);
    WritePowerSupply(L"BAT0\\charge_now", lpChargeNow);
}

using NotebookTest = ServiceTest;

TEST_F(NotebookTest, RecordsCarryTheBatteriesAndThePeakShiftState)
{
    CSimSetting controller(L"ZAVECFILTER", L"Gwat", kController30W);
    CSimSetting capacity0(L"ZAVBATT\\Battery0", L"Capacity", 36000);
    CSimSetting capacity1(L"ZAVBATT\\Battery1", L"Capacity", 12000);
    SetPowerSupply("1\n", "Full\n", "5000000\n");
    size_t nRaw = ReadRawLog().size();
    InstallAndStart();
    CTestClient client;
    ASSERT_EQ(0u, client.Connect());

    // On mains with full batteries: AC, the percent Windows reports, both capacities.
    std::vector<Record> records;
    ASSERT_TRUE(WaitForRecords(nRaw, WithStatus(QUOLOG_POWER_S0), 2, kWait, &records));
    ExpectEventRecord(records[nRaw], QUOLOG_POWER_START, QUOLOG_BATTERY_AC, 100, 48000);
    const Record& sample = records.back();
    EXPECT_EQ(30000u, Number(sample, COL_PC_WATT));
    EXPECT_EQ(static_cast<DWORD>(QUOLOG_BATTERY_AC), Number(sample, COL_BATTERY_STATUS));
    EXPECT_EQ(100u, Number(sample, COL_BATTERY_PERCENT));
    EXPECT_EQ(48000u, Number(sample, COL_BATTERY_CAPACITY));

    struct Case {
        const char* lpName;
        const char* lpOnline;
        const char* lpStatus;
        const char* lpChargeNow;
        DWORD dwCapacity0;
        DWORD dwStatus, dwPercent, dwCapacity;
    } cases[] = {
        {"on battery", "0\n", "Discharging\n", "1850000\n", 20000, QUOLOG_BATTERY_DC, 37, 32000},
        {"charging", "1\n", "Charging\n", "4100000\n", 30000, QUOLOG_BATTERY_CHARGING, 82, 42000},
    };
    for (const auto& c : cases) {
        capacity0.Set(c.dwCapacity0);
        SetPowerSupply(c.lpOnline, c.lpStatus, c.lpChargeNow);
        size_t nFrom = ReadRawLog().size();
        auto match = [&](const Record& r) {
            return Number(r, COL_POWER_STATUS) == QUOLOG_POWER_S0 && Number(r, COL_BATTERY_STATUS) == c.dwStatus
                && Number(r, COL_BATTERY_PERCENT) == c.dwPercent && Number(r, COL_BATTERY_CAPACITY) == c.dwCapacity;
        };
        EXPECT_TRUE(WaitForRecords(nFrom, match, 1, kWait)) << c.lpName;
    }

    // The battery driver says peak shift is in force (bit 1 of its word clear): the PC
    // draws nothing from the mains and runs on battery although the mains are online.
    SetPowerSupply("1\n", "Full\n", "5000000\n");
    {
        CSimSetting peakShift0(L"ZAVBATT\\Battery0", L"Psts", 0);
        CSimSetting peakShift1(L"ZAVBATT\\Battery1", L"Psts", 0);
        size_t nFrom = ReadRawLog().size();
        size_t nMark = client.Mark();
        auto peakShift = [](const Record& r) {
            return Number(r, COL_POWER_STATUS) == QUOLOG_POWER_S0 && Number(r, COL_PC_WATT) == 0
                && Number(r, COL_BATTERY_STATUS) == QUOLOG_BATTERY_DC;
        };
        EXPECT_TRUE(WaitForRecords(nFrom, peakShift, 1, kWait));
        EXPECT_TRUE(pipetest::WaitUntil(
            [&] {
                for (const auto& record : Commands(client.Log(), nMark, PIPECMD_NOTIFY_SYSINFO)) {
                    QVPipeCmdNotifySysInfo info = SysInfo(record);
                    if (info.dWatt == 0.0 && info.byBatteryStatus == QUOLOG_BATTERY_DC && info.byBatteryLifePercent == 100) {
                        return true;
                    }
                }
                return false;
            },
            kWait));
    }
    // Peak shift over: the mains power the PC again.
    size_t nFrom = ReadRawLog().size();
    auto mains = [](const Record& r) {
        return Number(r, COL_POWER_STATUS) == QUOLOG_POWER_S0 && Number(r, COL_PC_WATT) == 30000
            && Number(r, COL_BATTERY_STATUS) == QUOLOG_BATTERY_AC;
    };
    EXPECT_TRUE(WaitForRecords(nFrom, mains, 1, kWait));
}

}  // namespace
