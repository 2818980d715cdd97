// Helpers of the log library's tests: a throwaway place for one library instance
// (folder, registry key, file lock, shared flags), UTF-16 log files, raw and totals
// lines, and QUOLog.dll loaded at run time.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QuoLog.h"
#include "QuoLogCore.h"
#include "QuoLogEnv.h"
#include "ScopedHandle.h"
#include "TestSupport.h"

namespace logtest {

using testsupport::CsvCells;
using testsupport::FileExists;
using testsupport::NamesIn;
using testsupport::Narrow;
using testsupport::ReadFileBytes;
using testsupport::ReadUtf16Lines;
using testsupport::ReadUtf16Text;

// A base folder below the common application data folder, a registry key (with a
// "Viewer" sub-key for the settings the library reads from the viewer's key), a file
// lock name and shared flags of its own; all removed at destruction.
class CLogTestPlace {
public:
    explicit CLogTestPlace(const std::wstring& name);
    ~CLogTestPlace();
    CLogTestPlace(const CLogTestPlace&) = delete;
    CLogTestPlace& operator=(const CLogTestPlace&) = delete;

    QuoLogEnvironment Env(BOOL bRunWorker = FALSE);
    const std::wstring& Base() const { return m_base; }
    // <base>\ZAV\QUOViewer, the default log directory.
    std::wstring LogDir() const { return m_base + L"\\ZAV\\QUOViewer"; }
    const std::wstring& RegPath() const { return m_reg.Path(); }
    testsupport::CTestRegKey& Reg() { return m_reg; }
    const std::wstring& LockName() const { return m_lockName; }
    // The read positions at the start of lpDay ("yyyy/mm/dd"): the raw log from its
    // line 0 on, the yearly log from that day on.
    void StartPositionsAt(const wchar_t* lpDay);
    // The raw log file of a day ("yyyymmdd"), the daily log file of a day, the yearly
    // log file of a year, in LogDir().
    std::wstring RawPath(const std::wstring& day) const;
    std::wstring DailyPath(const SYSTEMTIME& day) const;
    std::wstring YearlyPath(WORD wYear) const;

    volatile LONG lRecovery = 0;
    volatile LONG lWriter = 0;

private:
    std::wstring m_base;
    std::wstring m_lockName;
    testsupport::CTestRegKey m_reg;
    std::wstring m_viewerKey;
};

// A library instance of a place of its own. Open() finalises the instance before (as
// at a restart) and starts a new one: its answer.
class CLogInstance {
public:
    explicit CLogInstance(const std::wstring& name) : place(name) {}
    DWORD Open(DWORD dwMode = QUOLOG_MODE_WRITER, DWORD dwInterval = 5000, DWORD bDelay = 0, DWORD dwDelayTime = 0,
               BOOL bRunWorker = FALSE);
    CTotalizeLog& Totalizer() const;

    CLogTestPlace place;
    std::unique_ptr<CQuoLog> quoLog;
};

SYSTEMTIME MakeTime(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0);
// "yyyymmdd", as in the names of raw and daily files.
std::wstring DayName(const SYSTEMTIME& t);

// A record with every field set from `seed`, status `status` and the given strings.
QuoLogData MakeRecord(DWORD status, DWORD seed = 1, const std::wstring& plan = L"Balanced",
                      const std::wstring& user = L"user");

// Writes a file: the byte-order mark (when bom), then text as UTF-16LE, then raw tail
// bytes (to make torn lines). testsupport::ReadUtf16Text reads it back, mark included.
void WriteUtf16File(const std::wstring& path, const std::wstring& text, bool bom = true,
                    const std::vector<unsigned char>& tail = {});

using testsupport::WaitUntil;

// The fields of a raw line that the totalization reads. The defaults: a 5 s running
// sample of 36 W PC and 7.2 W display power with 0.72 W saved (50, 10 and 1 mWh), on
// AC, busy, on the plan "Balanced".
struct RawSample {
    DWORD status = QUOLOG_POWER_S0;
    DWORD pc = 36000;
    DWORD mon = 7200;
    DWORD battery = QUOLOG_BATTERY_AC;
    DWORD capacity = 40000;
    DWORD reduct = 720;
    std::wstring plan = L"Balanced";
    DWORD cpu = 50;
    DWORD input = QUOLOG_STATE_ON;
    DWORD hdd = 50;
};
RawSample Status(DWORD status, DWORD capacity = 40000);
// The raw line of a sample at t, in the library's format (elapsed 5000 ms for S0).
std::wstring RawLine(const SYSTEMTIME& t, const RawSample& sample = RawSample());
std::wstring RawLine(const SYSTEMTIME& t, DWORD status);
// Appends the raw line of a sample at t to the raw file of its day in folder, as the
// service's writer does (the file made with its byte-order mark first).
void AddRaw(const std::wstring& folder, const SYSTEMTIME& t, const RawSample& sample = RawSample());

// A totals line (daily or yearly) at t: S0 time, PC energy and the first plan; the rest 0.
std::wstring TotalsLine(const SYSTEMTIME& t, DWORD s0 = 1800, DWORD pc = 5000, const wchar_t* plan = L"",
                        DWORD planTime = 0);
// Cell n (quotes removed) of every line.
std::vector<std::wstring> Column(const std::vector<std::wstring>& lines, size_t n);

// A value below HKEY_LOCAL_MACHINE\key: "" or 0xDEADBEEF when missing.
std::wstring RegString(const std::wstring& key, const wchar_t* name);
DWORD RegDword(const std::wstring& key, const wchar_t* name);

std::wstring Join(const std::wstring& folder, const std::wstring& name);
void MakeFolders(const std::wstring& path);

// A manual-reset event that child processes reach by name.
class CTestEvent {
public:
    explicit CTestEvent(const wchar_t* prefix);
    const std::wstring& Name() const { return m_name; }
    HANDLE Get() const { return m_h.Get(); }

private:
    std::wstring m_name;
    CScopedKernelHandle m_h;
};

// The exports of QUOLog.dll, loaded at run time and found by ordinal.
class CQuoLogDll {
public:
    bool Load();

    DWORD(WINAPI* Initialize)(DWORD, DWORD, DWORD, DWORD) = nullptr;
    DWORD(WINAPI* Write)(const QuoLogData*) = nullptr;
    DWORD(WINAPI* Read)(DWORD, const SYSTEMTIME*, QuoLogRead*, DWORD, QuoLogRead*) = nullptr;
    void(WINAPI* Finalize)() = nullptr;
    DWORD(WINAPI* Recovery)() = nullptr;
    DWORD(WINAPI* CopyPksReg)() = nullptr;
};

// What quolog.exe, run from this program's folder with args, answered: its exit code
// (0xFFFFFFFF when it did not end within a minute) and what it wrote to its outputs.
struct ToolRun {
    DWORD dwExitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};
ToolRun RunQuolog(const std::vector<std::wstring>& args);
// A file's bytes as they are, as text.
std::string ReadText(const std::wstring& path);
// The time stamps ("yyyy/mm/dd,hh:mm:ss.mmm") that begin the lines of a UTF-16 file.
std::vector<std::wstring> Stamps(const std::wstring& path);
// A file opened (dwDisposition as CreateFileW takes it) without sharing: no other
// handle can open it while this one lives.
CScopedFileHandle HoldWithoutSharing(const std::wstring& path, DWORD dwDisposition = OPEN_EXISTING);

}  // namespace logtest
