// Helpers of the integration tests, which run the real programs of the build in a Wine
// prefix of their own: processes of the build's programs, the service driven through
// its own switches and the service control manager, the product's registry settings,
// the raw log and the trace file read back as the programs wrote them, and the counts
// of the level library's stand-in.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "PipeCl.h"
#include "PipeTestSupport.h"
#include "RawLog.h"

namespace integ {

const wchar_t kServiceName[] = L"quomonsv";
const wchar_t kPipeSuffix[] = L"QUOViewer";
const wchar_t kProductKey[] = L"Software\\ZAV\\QUOViewer";
const wchar_t kDevInfoKey[] = L"Software\\ZAV\\QUOViewer\\DevInfo";
const wchar_t kDbgLogKey[] = L"Software\\ZAV\\QUOViewer\\DbgLog";
// What Wait answers for a process that did not end in time.
const DWORD kStillRunning = 0xFFFFFFFF;

// The full path of a program of the build (they all lie beside the test executable).
std::wstring ProgramPath(const wchar_t* lpFileName);

// One process of a program; killed at destruction if it still runs.
class CProcess {
public:
    CProcess() = default;
    ~CProcess();
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;

    // Starts exe with args (quoted where needed) and with the entries "NAME=value" of env
    // added to this process's environment. False, with the error on stderr, on failure.
    bool Start(const std::wstring& exe, const std::vector<std::wstring>& args,
               const std::vector<std::wstring>& env = {});
    // The exit code, or kStillRunning when it did not end within dwTimeoutMs.
    DWORD Wait(DWORD dwTimeoutMs);
    bool IsRunning() const;
    // Ends it at once (exit code 9) and waits for its end.
    void Kill();
    DWORD Id() const { return m_dwProcessId; }

private:
    HANDLE m_hProcess = nullptr;
    DWORD m_dwProcessId = 0;
};

// Runs quomonsv.exe with args and returns its exit code (kStillRunning when it hangs).
DWORD RunQuomonsv(const std::vector<std::wstring>& args, DWORD dwTimeoutMs = 60000);

// The install argument of quomonsv.exe: its own path, quoted, as the command line that
// the service control manager will run.
std::wstring QuomonsvCommandLine();

// The status of a service; false when it is not installed.
bool QueryService(const wchar_t* lpName, SERVICE_STATUS_PROCESS* pStatus);
// Waits up to dwTimeoutMs for the service to reach dwState.
bool WaitForServiceState(const wchar_t* lpName, DWORD dwState, DWORD dwTimeoutMs);
// Starts "winmgmt", which the service waits for and which Wine's service manager does
// not start for it.
DWORD StartWinmgmt();

// Product settings below HKEY_LOCAL_MACHINE (each test executable runs on a machine of
// its own, so the product's fixed keys are its to change).
void SetDword(const wchar_t* lpKey, const wchar_t* lpName, DWORD dwValue);
void SetString(const wchar_t* lpKey, const wchar_t* lpName, const std::wstring& value);
void DeleteValue(const wchar_t* lpKey, const wchar_t* lpName);
// False when the value is missing or no DWORD.
bool ReadDword(const wchar_t* lpKey, const wchar_t* lpName, DWORD* pdwValue);

// How often the level library's stand-in was asked lpFunction, as it counts it.
DWORD QuoLevelCalls(const wchar_t* lpFunction);

// The raw log, every line of every raw file, oldest first (rawlog::ReadAll), read under
// the log files' lock as the library's own readers do; a line without its 23 columns
// fails the test.
std::vector<rawlog::Record> ReadRawLog();

using RecordPredicate = std::function<bool(const rawlog::Record&)>;
RecordPredicate WithStatus(DWORD dwPowerStatus);
// The records at index nFrom and later that match.
std::vector<rawlog::Record> Matching(const std::vector<rawlog::Record>& records, size_t nFrom,
                                     const RecordPredicate& match);
// Waits up to dwTimeoutMs until at least nCount records from index nFrom on match; the
// whole log as it stands at the end in *pRecords.
bool WaitForRecords(size_t nFrom, const RecordPredicate& match, size_t nCount, DWORD dwTimeoutMs,
                    std::vector<rawlog::Record>* pRecords = nullptr);

// One line of the trace file in the long form: writer's process id, function, text.
struct TraceLine {
    DWORD dwProcessId;
    std::wstring function;
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
    // Waits up to dwTimeoutMs for a line from index nFrom on, of process dwProcessId (0:
    // any), that contains text; its index, or -1 on time-out.
    int WaitFor(size_t nFrom, DWORD dwProcessId, const std::wstring& text, DWORD dwTimeoutMs) const;
    // The lines from index nFrom on of process dwProcessId (0: any) that contain text.
    std::vector<TraceLine> Find(size_t nFrom, DWORD dwProcessId, const std::wstring& text) const;

private:
    std::wstring m_path;
};

// The commands received in log from record nFrom on whose code is dwCmd.
std::vector<pipetest::CEventLog::Record> Commands(pipetest::CEventLog& log, size_t nFrom, DWORD dwCmd);
// Waits up to dwTimeoutMs until log holds nCount such commands from record nFrom on.
bool WaitForCommands(pipetest::CEventLog& log, size_t nFrom, DWORD dwCmd, size_t nCount, DWORD dwTimeoutMs);

// A client of the service's pipes, as the viewer is one: registered on kPipeSuffix, it
// records every command the service sends.
class CTestClient {
public:
    CTestClient();
    ~CTestClient() { Disconnect(); }
    CTestClient(const CTestClient&) = delete;
    CTestClient& operator=(const CTestClient&) = delete;

    // Registers; 0 or the client's error. Handle() is then the handle the service gave.
    DWORD Connect();
    // Unregisters; repeatable.
    void Disconnect();
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
