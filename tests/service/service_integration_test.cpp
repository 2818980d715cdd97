// The monitoring service as the service control manager runs it, on a simulated machine:
// installed, started, stopped and removed through its own switches, sampling the
// simulated hardware into the raw log, and publishing every sample to a pipe client.
// ServiceTest runs on the simulated desktop, NotebookTest on the simulated notebook
// (tests/service/CMakeLists.txt chooses the machine and the suites).
#include <cstdlib>
#include <cwchar>

#include "IntegrationSupport.h"
#include "QuoLog.h"
#include "SimSetting.h"
#include "WineDifferences.h"

using namespace integ;
using namespace rawlog;

namespace {

// Power-sensor readings in PMBus LINEAR11 with exponent -1 (half watts).
const DWORD kSensor100W = 0xF8C8;
const wchar_t kBalanced[] = L"バランス";

// An event record (START, END) carries its power status and the battery fields; that
// it carries nothing else is the controller test's.
void ExpectEventRecord(const Record& record, DWORD dwStatus, DWORD dwBattStatus = QUOLOG_BATTERY_AC,
                       DWORD dwPercent = 0, DWORD dwCapacity = 0)
{
    EXPECT_EQ(dwStatus, Number(record, COL_POWER_STATUS));
    EXPECT_EQ(dwBattStatus, Number(record, COL_BATTERY_STATUS));
    EXPECT_EQ(dwPercent, Number(record, COL_BATTERY_PERCENT));
    EXPECT_EQ(dwCapacity, Number(record, COL_BATTERY_CAPACITY));
    EXPECT_EQ(0u, Number(record, COL_PC_WATT));
}

// Checks the registration the service control manager holds for the service; whether
// its start is delayed (false where the manager cannot tell, as under Wine).
bool ExpectRegistration()
{
    CScopedScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CScopedScHandle service(OpenServiceW(scm.Get(), kServiceName, SERVICE_QUERY_CONFIG));
    std::vector<BYTE> buffer(8192);
    DWORD cbNeeded = 0;
    auto* pConfig = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!service.IsValid() || !QueryServiceConfigW(service.Get(), pConfig, 8192, &cbNeeded)) {
        ADD_FAILURE() << "the service's configuration cannot be read";
        return false;
    }
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), pConfig->dwServiceType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), pConfig->dwStartType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), pConfig->dwErrorControl);
    EXPECT_EQ(QuomonsvCommandLine(), pConfig->lpBinaryPathName);
    EXPECT_STREQ(L"QUOViewer", pConfig->lpDisplayName);
    // Wine's manager answers no dependencies here; both keep them in the service's key.
    WCHAR szDependencies[256] = L"";
    DWORD cbDependencies = sizeof(szDependencies) - 2 * sizeof(WCHAR);
    RegGetValueW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services\\quomonsv", L"DependOnService",
                 RRF_RT_REG_MULTI_SZ, nullptr, szDependencies, &cbDependencies);
    EXPECT_STREQ(L"winmgmt", szDependencies);
    EXPECT_EQ(L'\0', szDependencies[wcslen(szDependencies) + 1]) << "more than one dependency";
    SERVICE_DELAYED_AUTO_START_INFO delayed = {};
    return QueryServiceConfig2W(service.Get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                                reinterpret_cast<LPBYTE>(&delayed), sizeof(delayed), &cbNeeded)
        && delayed.fDelayedAutostart;
}

// The service's state, 0 when it is not installed; its process in *pdwProcessId.
DWORD ServiceState(DWORD* pdwProcessId = nullptr)
{
    SERVICE_STATUS_PROCESS status = {};
    QueryService(kServiceName, &status);
    if (pdwProcessId != nullptr) {
        *pdwProcessId = status.dwProcessId;
    }
    return status.dwCurrentState;
}

class ServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(0u, StartWinmgmt()) << "winmgmt does not run"; }

    void SetUp() override
    {
        SetDword(kDevInfoKey, L"Interval", 1000);
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kProductKey, L"Function");
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kProductKey, L"MetricsDir");
    }

    void TearDown() override { RemoveService(); }
};

// Exit codes of the switches, one table: 87 for a missing path or an unknown switch, the
// manager's error for controls of a service that is not installed (a /STOP on the line
// wins over an /INSTALL after it). /D asks for a delayed start, in any letter case;
// where the manager cannot store it, the switch reports its error and the service stays
// installed, not started. Installing twice keeps the first registration; stopping a stopped service
// succeeds; removal deletes it; without /D the start is not delayed.
TEST_F(ServiceTest, SwitchesInstallAndRemoveTheServiceWithTheirExitCodes)
{
    const std::wstring commandLine = QuomonsvCommandLine();
    const struct {
        std::vector<std::wstring> args;
        DWORD dwExitCode;
    } kRefused[] = {{{L"/D", L"/INSTALL"}, ERROR_INVALID_PARAMETER},
                    {{L"/STARTX", commandLine}, ERROR_INVALID_PARAMETER},
                    {{L"/UNINSTALL"}, ERROR_SERVICE_DOES_NOT_EXIST},
                    {{L"/STOP", L"/INSTALL", commandLine}, ERROR_SERVICE_DOES_NOT_EXIST}};
    for (const auto& c : kRefused) {
        EXPECT_EQ(c.dwExitCode, RunQuomonsv(c.args)) << testsupport::Narrow(c.args[0]);
    }
    EXPECT_EQ(0u, ServiceState());

    const DWORD dwDelayedResult = winediff::DelayedAutoStartConfigError();
    ASSERT_EQ(dwDelayedResult, RunQuomonsv({L"/install", commandLine, L"/d"}));
    EXPECT_EQ(dwDelayedResult == ERROR_SUCCESS, ExpectRegistration());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), ServiceState());
    EXPECT_EQ(0u, RunQuomonsv({L"/INSTALL", commandLine}));
    EXPECT_EQ(dwDelayedResult == ERROR_SUCCESS, ExpectRegistration());

    EXPECT_EQ(0u, RunQuomonsv({L"/STOP"}));
    EXPECT_EQ(0u, RunQuomonsv({L"/UNINSTALL"}));
    EXPECT_EQ(0u, ServiceState());
    ASSERT_EQ(0u, RunQuomonsv({L"/INSTALL", commandLine}));
    EXPECT_FALSE(ExpectRegistration());
}

// The number after "name " in a metrics text; -1 when no line holds it.
double MetricValue(const std::string& text, const std::string& name)
{
    size_t nAt = text.find("\n" + name + " ");
    return (nAt == std::string::npos) ? -1.0 : strtod(text.c_str() + nAt + name.size() + 2, nullptr);
}

// START first, then samples of the sensor, the plan and the level. With "MetricsDir"
// the service writes quoviewer.prom there: the sensor's power and today's totals, which
// it reads from the log whose writer it is (the text, the setting's checks and the
// file's life are the metrics file test's; the day's totals the log library's). A second
// copy started by hand meets the log library, which refuses a second writer (5): the
// service runs on, sampling. /START of a running service succeeds and starts nothing
// new. /STOP ends the run with END (one START, one END, samples between) and removes
// the metrics file. Started by hand while the service is stopped, the program cannot
// reach the dispatcher (1063) and writes nothing.
TEST_F(ServiceTest, RunsWritingStartSamplesAndEndAndOutlivesASecondCopy)
{
    CSimSetting sensor(L"ZAVPSRD", L"Gwat", kSensor100W);
    const std::wstring metricsDir = testsupport::CommonAppDataFolder() + L"\\QuoMetrics";
    const std::wstring metrics = metricsDir + L"\\quoviewer.prom";
    CreateDirectoryW(metricsDir.c_str(), nullptr);
    SetString(kProductKey, L"MetricsDir", metricsDir);
    size_t nFrom = ReadRawLog().size();
    InstallAndStartService();
    DWORD dwProcessId = 0;
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState(&dwProcessId));

    std::vector<Record> records;
    ASSERT_TRUE(WaitForRecords(nFrom, WithStatus(QUOLOG_POWER_S0), 3, &records));
    ExpectEventRecord(records[nFrom], QUOLOG_POWER_START);
    for (size_t i = nFrom + 1; i < records.size(); ++i) {
        const Record& sample = records[i];
        ASSERT_EQ(static_cast<DWORD>(QUOLOG_POWER_S0), Number(sample, COL_POWER_STATUS)) << "record " << i;
        EXPECT_EQ(1000u, Number(sample, COL_ELAPSED));
        EXPECT_EQ(100000u, Number(sample, COL_PC_WATT));
        EXPECT_EQ(kBalanced, sample[COL_POWER_PLAN]);
    }
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::FileExists(metrics); }, kWait));
    std::vector<unsigned char> bytes = testsupport::ReadFileBytes(metrics);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(100.0, MetricValue(text, "quoviewer_pc_power_watts")) << text;
    EXPECT_GE(MetricValue(text, "quoviewer_today_energy_joules"), 0.0) << text;

    EXPECT_EQ(ERROR_ACCESS_DENIED, RunQuomonsv({}));
    ASSERT_TRUE(WaitForRecords(ReadRawLog().size(), WithStatus(QUOLOG_POWER_S0), 2));
    EXPECT_EQ(0u, RunStartSwitch());
    DWORD dwNowId = 0;
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState(&dwNowId));
    EXPECT_EQ(dwProcessId, dwNowId);

    EXPECT_EQ(0u, RunQuomonsv({L"/STOP"}));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), ServiceState());
    EXPECT_FALSE(testsupport::FileExists(metrics));
    records = ReadRawLog();
    ASSERT_FALSE(records.empty());
    ExpectEventRecord(records.back(), QUOLOG_POWER_END);
    EXPECT_EQ(1u, Matching(records, nFrom, WithStatus(QUOLOG_POWER_START)).size());
    EXPECT_EQ(records.size() - nFrom - 2, Matching(records, nFrom, WithStatus(QUOLOG_POWER_S0)).size());

    EXPECT_EQ(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, RunQuomonsv({}));
    EXPECT_EQ(records.size(), ReadRawLog().size());
}

// Milliseconds into the day of a record's time stamp.
static ULONGLONG MsOfDay(const Record& record)
{
    unsigned h = 0, m = 0, sec = 0, ms = 0;
    swscanf(record[COL_TIME].c_str(), L"%u:%u:%u.%u", &h, &m, &sec, &ms);
    return ((h * 60ULL + m) * 60 + sec) * 1000 + ms;
}

// Today's raw file held open without sharing by another program for three seconds,
// with the service sampling every 200 ms: the samples taken meanwhile are written once
// the file is free, each once and in order.
TEST_F(ServiceTest, SamplesTakenWhileTheRawFileIsHeldAreWrittenOnceItIsFree)
{
    CSimSetting sensor(L"ZAVPSRD", L"Gwat", kSensor100W);
    SetDword(kDevInfoKey, L"Interval", 200);
    size_t nFrom = ReadRawLog().size();
    InstallAndStartService();
    ASSERT_TRUE(WaitForRecords(nFrom, WithStatus(QUOLOG_POWER_S0), 3));
    // Today's is the newest of the raw files (their names carry the day).
    const std::wstring folder = testsupport::CommonAppDataFolder() + L"\\ZAV\\QUOViewer";
    const std::wstring path = folder + L"\\" + testsupport::NamesIn(folder, L"QUOLogRaw*.csv").back();
    SYSTEMTIME stHeld;
    {
        CScopedFileHandle held;
        for (int i = 0; i < 100 && !held.IsValid(); ++i) {  // the service opens it at every sample
            held.Reset(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            Sleep(held.IsValid() ? 0 : 20);
        }
        ASSERT_TRUE(held.IsValid());
        GetLocalTime(&stHeld);
        Sleep(3000);
    }
    const ULONGLONG ullHeldFrom = ((stHeld.wHour * 60ULL + stHeld.wMinute) * 60 + stHeld.wSecond) * 1000 + stHeld.wMilliseconds;
    ASSERT_TRUE(WaitForRecords(ReadRawLog().size(), WithStatus(QUOLOG_POWER_S0), 3));
    EXPECT_EQ(0u, RunQuomonsv({L"/STOP"}));

    std::vector<Record> records = ReadRawLog();
    size_t nWhileHeld = 0;
    for (size_t i = nFrom + 1; i < records.size(); ++i) {
        ULONGLONG ullPrev = MsOfDay(records[i - 1]);
        ULONGLONG ullThis = MsOfDay(records[i]);
        ASSERT_LT(ullPrev, ullThis) << "record " << i;  // each once, in order
        EXPECT_LT(ullThis - ullPrev, 2000u) << "record " << i;  // none lost
        nWhileHeld += (ullThis >= ullHeldFrom && ullThis < ullHeldFrom + 3000) ? 1 : 0;
    }
    EXPECT_GE(nWhileHeld, 3u);
}

// /START fails with dwError: the service stopped with it as its exit code.
void ExpectStartFailsWith(DWORD dwError)
{
    EXPECT_EQ(dwError, RunStartSwitch());
    SERVICE_STATUS_PROCESS status = {};
    ASSERT_TRUE(QueryService(kServiceName, &status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
    EXPECT_EQ(dwError, status.dwWin32ExitCode);
}

// A start that fails reports its error: the level library refuses to initialise (the
// service writes nothing), or a program holds the name of either of the service's pipes
// before it starts (to squat it or to add instances of its own: the service does not run
// on a pipe it does not own and ends with 183). Once the cause is gone it runs.
TEST_F(ServiceTest, AFailedStartReportsItsError)
{
    ASSERT_EQ(0u, RunQuomonsv({L"/INSTALL", QuomonsvCommandLine()}));
    size_t nRaw = ReadRawLog().size();
    {
        CSimSetting refusal(L"QuoLevel", L"FailInitializeSrv", 1);
        ExpectStartFailsWith(ERROR_INVALID_FUNCTION);
        std::vector<Record> records = ReadRawLog();
        EXPECT_TRUE(Matching(records, nRaw, WithStatus(QUOLOG_POWER_START)).empty());
        EXPECT_TRUE(Matching(records, nRaw, WithStatus(QUOLOG_POWER_S0)).empty());
    }
    for (const std::wstring& name : {pipetest::DataPipeName(kPipeSuffix), pipetest::CtrlPipeName(kPipeSuffix)}) {
        CScopedFileHandle squatter(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, 0, PIPE_UNLIMITED_INSTANCES, 64,
                                                    64, 0, nullptr));
        ASSERT_TRUE(squatter.IsValid());
        ExpectStartFailsWith(ERROR_ALREADY_EXISTS);
    }
    EXPECT_EQ(0u, RunStartSwitch());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState());
    EXPECT_TRUE(WaitForRecords(nRaw, WithStatus(QUOLOG_POWER_S0), 1));
}

// A client that registers and then never answers, its pipe's one instance taken: the
// pipe thread waits for it to come free when the service is stopped. The stop ends that
// wait, so the thread ends by itself and is never forced to.
TEST_F(ServiceTest, StopEndsASendToAClientThatNeverAnswers)
{
    CTraceFile trace(L"service_mute_client.log");
    ASSERT_NO_FATAL_FAILURE(InstallAndStartService());
    std::wstring muteName = pipetest::ClientPipeName(L"QUOViewer", 0xdead0003u);
    pipetest::CMutePipe mute(muteName);
    ASSERT_TRUE(mute.IsValid());
    CScopedFileHandle squatter(pipetest::RawOpen(muteName, 1000));
    ASSERT_TRUE(squatter.IsValid());
    DWORD dwHandle = 0;
    ASSERT_EQ(0u, pipetest::RawExchange(pipetest::CtrlPipeName(kPipeSuffix), pipetest::ConnectRequest(muteName),
                                        &dwHandle));
    ASSERT_NE(0u, dwHandle);
    Sleep(2 * CPipe::kBusyWait);  // its greeting waits for the busy pipe

    EXPECT_EQ(0u, RunQuomonsv({L"/STOP"}));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), ServiceState());
    EXPECT_FALSE(trace.Find(0, 0, L"Failed in sending pipe data (PIPECMD_NOTIFY_SYSINFO). (code:995)").empty())
        << "the stop ended the send";
    EXPECT_TRUE(trace.Find(0, 0, L" Timeout! Terminate thread.").empty());
}

// A S0 record from now on with this power draw and these battery fields.
RecordPredicate Sample(DWORD dwPcWatt, DWORD dwStatus, DWORD dwPercent, DWORD dwCapacity)
{
    return [=](const Record& r) {
        return Number(r, COL_POWER_STATUS) == QUOLOG_POWER_S0 && Number(r, COL_PC_WATT) == dwPcWatt
            && Number(r, COL_BATTERY_STATUS) == dwStatus && Number(r, COL_BATTERY_PERCENT) == dwPercent
            && Number(r, COL_BATTERY_CAPACITY) == dwCapacity;
    };
}

using NotebookTest = ServiceTest;

// The embedded controller's watts and both batteries: on mains and full, on battery,
// charging; then peak shift in force (bit 1 of the battery driver's word clear): the PC
// draws nothing from the mains and runs on battery although the mains are online; once
// it ends, the mains power the PC again.
TEST_F(NotebookTest, RecordsCarryTheBatteriesAndThePeakShiftState)
{
    CSimSetting controller(L"ZAVECFILTER", L"Gwat", 30);
    CSimSetting capacity0(L"ZAVBATT\\Battery0", L"Capacity", 36000);
    CSimSetting capacity1(L"ZAVBATT\\Battery1", L"Capacity", 12000);
    SetPowerSupply("1\n", "Full\n", "5000000\n");
    size_t nRaw = ReadRawLog().size();
    InstallAndStartService();
    CTestClient client;
    ASSERT_EQ(0u, client.Connect());
    std::vector<Record> records;
    ASSERT_TRUE(WaitForRecords(nRaw, Sample(30000, QUOLOG_BATTERY_AC, 100, 48000), 1, &records));
    ExpectEventRecord(records[nRaw], QUOLOG_POWER_START, QUOLOG_BATTERY_AC, 100, 48000);

    capacity0.Set(20000);
    SetPowerSupply("0\n", "Discharging\n", "1850000\n");
    EXPECT_TRUE(WaitForRecords(ReadRawLog().size(), Sample(30000, QUOLOG_BATTERY_DC, 37, 32000), 1)) << "on battery";
    capacity0.Set(30000);
    SetPowerSupply("1\n", "Charging\n", "4100000\n");
    EXPECT_TRUE(WaitForRecords(ReadRawLog().size(), Sample(30000, QUOLOG_BATTERY_CHARGING, 82, 42000), 1)) << "charging";

    capacity0.Set(36000);
    SetPowerSupply("1\n", "Full\n", "5000000\n");
    {
        CSimSetting peakShift0(L"ZAVBATT\\Battery0", L"Psts", 0);
        CSimSetting peakShift1(L"ZAVBATT\\Battery1", L"Psts", 0);
        size_t nMark = client.Mark();
        EXPECT_TRUE(WaitForRecords(ReadRawLog().size(), Sample(0, QUOLOG_BATTERY_DC, 100, 48000), 1));
        EXPECT_TRUE(testsupport::WaitUntil([&] {
            auto samples = Commands(client.Log(), nMark, PIPECMD_NOTIFY_SYSINFO);
            return std::any_of(samples.begin(), samples.end(), [](const pipetest::CEventLog::Record& record) {
                auto info = CommandAs<QVPipeCmdNotifySysInfo>(record);
                return info.dWatt == 0.0 && info.byBatteryStatus == QUOLOG_BATTERY_DC && info.byBatteryLifePercent == 100;
            });
        }, kWait)) << "the client's sample in peak shift";
    }
    EXPECT_TRUE(WaitForRecords(ReadRawLog().size(), Sample(30000, QUOLOG_BATTERY_AC, 100, 48000), 1));
}

}  // namespace
