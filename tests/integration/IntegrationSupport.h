// Helpers of the tests that drive the service and the agent: the build's programs run
// as processes, the service driven through its own switches and the service control
// manager, the product's registry settings, the raw log and the trace file read back as
// the programs wrote them, the counts of the level library's stand-in, and a pipe client
// of the service that records every command it gets.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PipeCl.h"
#include "PipeTestSupport.h"

namespace rawlog {

// Cells of one line of a raw log file, quotes removed.
typedef std::vector<std::wstring> Record;

enum Column {
    COL_DATE, COL_TIME, COL_ELAPSED, COL_POWER_STATUS, COL_PC_WATT, COL_MON_WATT, COL_BATTERY_STATUS,
    COL_BATTERY_PERCENT, COL_BATTERY_CAPACITY, COL_REDUCTION_WATT, COL_POWER_PLAN, COL_CPU, COL_INPUT, COL_HDD,
    COL_SCR, COL_MONITOR_NAME1, COL_MONITOR_STATUS1, COL_LCD_LEVEL1, COL_MONITOR_NAME2, COL_MONITOR_STATUS2,
    COL_LCD_LEVEL2, COL_QUO_LEVEL, COL_USER_NAME, COLUMN_COUNT
};

unsigned Number(const Record& record, Column column);
// The power status column of each record, as numbers.
std::vector<unsigned> PowerStatuses(const std::vector<Record>& records);

}  // namespace rawlog

namespace integ {

const wchar_t kServiceName[] = L"quomonsv";
const wchar_t kPipeSuffix[] = L"QUOViewer";
const wchar_t kProductKey[] = L"Software\\ZAV\\QUOViewer";
const wchar_t kDevInfoKey[] = L"Software\\ZAV\\QUOViewer\\DevInfo";
// What CProcess::Wait answers for a process that did not end in time.
const DWORD kStillRunning = 0xFFFFFFFF;
// Upper bound for what comes within a tick or two; generous for a loaded machine.
const DWORD kWait = 20000;
// How long a test watches for something that must not happen: two and a half ticks.
const DWORD kQuietSpan = 2500;

using CProcess = testsupport::CChildProcess;

// The full path of a program of the build (they all lie beside the test executable).
std::wstring ProgramPath(const wchar_t* lpFileName);

// The first top-level window of process dwProcessId with class lpClass; null when there
// is none.
HWND FindProcessWindow(DWORD dwProcessId, const wchar_t* lpClass);

// Runs quomonsv.exe with args and returns its exit code (kStillRunning when it hangs).
DWORD RunQuomonsv(const std::vector<std::wstring>& args, DWORD dwTimeoutMs = 60000);
// The install argument of quomonsv.exe: its own path, quoted, as the command line that
// the service control manager will run.
inline std::wstring QuomonsvCommandLine() { return L"\"" + ProgramPath(L"quomonsv.exe") + L"\""; }
// Runs quomonsv.exe /START, once more on Wine's transient 1359; its exit code.
DWORD RunStartSwitch();
// Installs and starts the service; a failure fails the test.
void InstallAndStartService();
// Removes the service if it is installed, so that no test leaves it to the next.
void RemoveService();

// The status of a service; false when it is not installed.
bool QueryService(const wchar_t* lpName, SERVICE_STATUS_PROCESS* pStatus);
// Starts "winmgmt", which the service waits for and which Wine's service manager does
// not start for it.
DWORD StartWinmgmt();

// Product settings below HKEY_LOCAL_MACHINE (each test executable runs on a machine of
// its own, so the product's fixed keys are its to change).
void SetDword(const wchar_t* lpKey, const wchar_t* lpName, DWORD dwValue);
void SetString(const wchar_t* lpKey, const wchar_t* lpName, const std::wstring& value);
// The DWORD value, or dwMissing when it is missing or no DWORD.
DWORD ReadDword(const wchar_t* lpKey, const wchar_t* lpName, DWORD dwMissing = 0xFFFFFFFF);

// Writes the fake power supply that tools/sim-hw published for a notebook: mains online
// or not ("1\n", "0\n"), the battery's state ("Discharging\n" ...) and its charge out of
// 5 Ah in µAh ("1850000\n" is 37 %). A write that fails fails the test.
void SetPowerSupply(const char* lpOnline, const char* lpStatus, const char* lpChargeNow);

// How often the level library's stand-in was asked lpFunction, as it counts it.
DWORD QuoLevelCalls(const wchar_t* lpFunction);

// The raw log, every line of the QUOLogRaw*.csv files in the default log folder, oldest
// first, read under the log files' lock as the library's own readers do; a line without
// its 23 columns fails the test.
std::vector<rawlog::Record> ReadRawLog();
using RecordPredicate = std::function<bool(const rawlog::Record&)>;
RecordPredicate WithStatus(DWORD dwPowerStatus);
// The records at index nFrom and later that match.
std::vector<rawlog::Record> Matching(const std::vector<rawlog::Record>& records, size_t nFrom,
                                     const RecordPredicate& match);
// Waits up to kWait until at least nCount records from index nFrom on match; the whole
// log as it stands at the end in *pRecords.
bool WaitForRecords(size_t nFrom, const RecordPredicate& match, size_t nCount,
                    std::vector<rawlog::Record>* pRecords = nullptr);

// One line of the trace file in the long form: writer's process id and text.
struct TraceLine {
    DWORD dwProcessId;
    std::wstring text;
};

// The trace file that the service and the agent share once DbgLog asks for it.
class CTraceFile {
public:
    // Switches tracing on for programs started from now on: long lines at level 0 into
    // a new file named lpFileName in the common application data folder.
    explicit CTraceFile(const wchar_t* lpFileName);

    // Every line so far, read under the trace file's lock so that no writer loses a line.
    std::vector<TraceLine> Read() const;
    size_t Count() const { return Read().size(); }
    // The lines from index nFrom on of process dwProcessId (0: any) that contain text.
    std::vector<TraceLine> Find(size_t nFrom, DWORD dwProcessId, const std::wstring& text) const;
    // Waits up to kWait for such a line; false on time-out.
    bool WaitFor(size_t nFrom, DWORD dwProcessId, const std::wstring& text) const;

private:
    std::wstring m_path;
};

// The commands received in log from record nFrom on whose code is dwCmd.
std::vector<pipetest::CEventLog::Record> Commands(pipetest::CEventLog& log, size_t nFrom, DWORD dwCmd);
// Waits up to kWait until log holds nCount such commands from record nFrom on.
bool WaitForCommands(pipetest::CEventLog& log, size_t nFrom, DWORD dwCmd, size_t nCount = 1);
// Waits up to kWait for the first such command; the record, or one without payload when
// none came (which fails CommandAs).
pipetest::CEventLog::Record WaitForCommand(pipetest::CEventLog& log, size_t nFrom, DWORD dwCmd);

// A received command as its structure; a payload of another size fails the test.
template <typename T>
T CommandAs(const pipetest::CEventLog::Record& record)
{
    T cmd = {};
    EXPECT_EQ(sizeof(T), record.payload.size());
    CopyMemory(&cmd, record.payload.data(), std::min(sizeof(T), record.payload.size()));
    return cmd;
}

// A client of the service's pipes, as the viewer is one: registered on kPipeSuffix, it
// records every command the service sends.
class CTestClient {
public:
    CTestClient() { m_log.pReceiver = &m_PipeCl; }
    ~CTestClient() { Disconnect(); }
    CTestClient(const CTestClient&) = delete;
    CTestClient& operator=(const CTestClient&) = delete;

    // Registers; 0 or the client's error. Handle() is then the handle the service gave.
    DWORD Connect();
    // Unregisters; repeatable.
    void Disconnect() { m_PipeCl.Finalize(nullptr); }
    DWORD Handle() const { return m_PipeCl.GetClientHandle(); }
    // Sends cb bytes to the service; the client's result.
    DWORD Send(const void* lpData, DWORD cb);

    pipetest::CEventLog& Log() { return m_log; }
    size_t Mark() { return m_log.Records().size(); }

private:
    CPipeCl m_PipeCl;
    pipetest::CEventLog m_log;
};

}  // namespace integ
