#include "IntegrationSupport.h"

#include <cstring>
#include <cwchar>
#include <iterator>

#include "NamedMutex.h"
#include "ServiceWait.h"
#include "WineDifferences.h"

namespace rawlog {

unsigned Number(const Record& record, Column column)
{
    return (static_cast<size_t>(column) < record.size()) ? wcstoul(record[column].c_str(), nullptr, 10) : 0xFFFFFFFF;
}

std::vector<unsigned> PowerStatuses(const std::vector<Record>& records)
{
    std::vector<unsigned> statuses;
    for (const auto& record : records) {
        statuses.push_back(Number(record, COL_POWER_STATUS));
    }
    return statuses;
}

}  // namespace rawlog

namespace integ {

namespace {

const wchar_t kDbgLogKey[] = L"Software\\ZAV\\QUOViewer\\DbgLog";
const wchar_t kQuoLevelCallsKey[] = L"Software\\ZAVSim\\QuoLevelCalls";
// The lock every reader and writer of the log files takes, and the trace file's lock
// as the programs name it from their trace configuration key.
const wchar_t kLogFileLock[] = L"QuoLogFileAccess";
const wchar_t kTraceLock[] = L"clog_mutex_name_Software\\ZAV\\QUOViewer\\DbgLog";
const DWORD kLockWait = 10000;
const DWORD kPollMs = 100;

// Runs read while holding the named lock that the writers of the file take.
template <typename F>
void UnderLock(const wchar_t* lpLockName, F read)
{
    CNamedMutex lock;
    bool bLocked = lock.Initialize(lpLockName, kLockWait) == ERROR_SUCCESS && lock.Lock(nullptr) == ERROR_SUCCESS;
    EXPECT_TRUE(bLocked) << "cannot take the lock " << testsupport::Narrow(lpLockName);
    read();
    if (bLocked) {
        lock.Unlock();
    }
}

std::vector<rawlog::Record> ReadRawFiles()
{
    std::wstring folder = testsupport::CommonAppDataFolder() + L"\\ZAV\\QUOViewer";
    std::vector<rawlog::Record> records;
    for (const auto& name : testsupport::NamesIn(folder, L"QUOLogRaw*.csv")) {
        for (const auto& line : testsupport::ReadUtf16Lines(folder + L"\\" + name)) {
            if (!line.empty()) {
                records.push_back(testsupport::CsvCells(line));
            }
        }
    }
    return records;
}

}  // namespace

std::wstring ProgramPath(const wchar_t* lpFileName)
{
    std::wstring exe = testsupport::ThisExePath();
    return exe.substr(0, exe.find_last_of(L'\\') + 1) + lpFileName;
}

HWND FindProcessWindow(DWORD dwProcessId, const wchar_t* lpClass)
{
    for (HWND hWnd = FindWindowExW(nullptr, nullptr, lpClass, nullptr); hWnd != nullptr;
         hWnd = FindWindowExW(nullptr, hWnd, lpClass, nullptr)) {
        DWORD dwOwner = 0;
        GetWindowThreadProcessId(hWnd, &dwOwner);
        if (dwOwner == dwProcessId) {
            return hWnd;
        }
    }
    return nullptr;
}

DWORD RunQuomonsv(const std::vector<std::wstring>& args, DWORD dwTimeoutMs)
{
    CProcess process;
    return process.StartProgram(ProgramPath(L"quomonsv.exe"), args) ? process.Wait(dwTimeoutMs) : kStillRunning;
}

DWORD RunStartSwitch()
{
    // Under load Wine's service manager now and then fails once to start the program
    // (its CreateProcess answers 1359); the same start works when tried again.
    DWORD dwStart = RunQuomonsv({L"/START"});
    if (dwStart != ERROR_SUCCESS && dwStart == winediff::TransientCreateProcessError()) {
        dwStart = RunQuomonsv({L"/START"});
    }
    return dwStart;
}

void InstallAndStartService()
{
    ASSERT_EQ(0u, RunQuomonsv({L"/INSTALL", QuomonsvCommandLine()}));
    ASSERT_EQ(0u, RunStartSwitch());
}

void RemoveService()
{
    SERVICE_STATUS_PROCESS status = {};
    if (QueryService(kServiceName, &status)) {
        EXPECT_EQ(0u, RunQuomonsv({L"/UNINSTALL"}));
    }
}

bool QueryService(const wchar_t* lpName, SERVICE_STATUS_PROCESS* pStatus)
{
    CScopedScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CScopedScHandle service(OpenServiceW(scm.Get(), lpName, SERVICE_QUERY_STATUS));
    DWORD cbNeeded = 0;
    return service.IsValid()
        && QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(pStatus),
                                sizeof(*pStatus), &cbNeeded);
}

DWORD StartWinmgmt()
{
    CScopedScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CScopedScHandle service(OpenServiceW(scm.Get(), L"winmgmt", SERVICE_START | SERVICE_QUERY_STATUS));
    if (!service.IsValid()) {
        return GetLastError();
    }
    if (!StartServiceW(service.Get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        return GetLastError();
    }
    return WaitForService(L"winmgmt", 30000);
}

void SetDword(const wchar_t* lpKey, const wchar_t* lpName, DWORD dwValue)
{
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, lpKey, lpName, REG_DWORD, &dwValue, sizeof(dwValue)));
}

void SetString(const wchar_t* lpKey, const wchar_t* lpName, const std::wstring& value)
{
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, lpKey, lpName, REG_SZ, value.c_str(),
                                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
}

DWORD ReadDword(const wchar_t* lpKey, const wchar_t* lpName, DWORD dwMissing)
{
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    return RegGetValueW(HKEY_LOCAL_MACHINE, lpKey, lpName, RRF_RT_REG_DWORD, nullptr, &dwValue, &cbValue) == ERROR_SUCCESS
        ? dwValue
        : dwMissing;
}

DWORD QuoLevelCalls(const wchar_t* lpFunction)
{
    return ReadDword(kQuoLevelCallsKey, lpFunction, 0);
}

std::vector<rawlog::Record> ReadRawLog()
{
    std::vector<rawlog::Record> records;
    UnderLock(kLogFileLock, [&] { records = ReadRawFiles(); });
    for (auto& record : records) {
        if (record.size() != rawlog::COLUMN_COUNT) {
            ADD_FAILURE() << "a raw line of " << record.size() << " columns";
            record.resize(rawlog::COLUMN_COUNT);
        }
    }
    return records;
}

RecordPredicate WithStatus(DWORD dwPowerStatus)
{
    return [dwPowerStatus](const rawlog::Record& record) {
        return rawlog::Number(record, rawlog::COL_POWER_STATUS) == dwPowerStatus;
    };
}

std::vector<rawlog::Record> Matching(const std::vector<rawlog::Record>& records, size_t nFrom,
                                     const RecordPredicate& match)
{
    std::vector<rawlog::Record> found;
    std::copy_if(records.begin() + std::min(nFrom, records.size()), records.end(), std::back_inserter(found), match);
    return found;
}

bool WaitForRecords(size_t nFrom, const RecordPredicate& match, size_t nCount, std::vector<rawlog::Record>* pRecords)
{
    std::vector<rawlog::Record> records;
    bool bFound = testsupport::WaitUntil(
        [&] {
            records = ReadRawLog();
            return Matching(records, nFrom, match).size() >= nCount;
        },
        kWait, kPollMs);
    if (pRecords != nullptr) {
        *pRecords = std::move(records);
    }
    return bFound;
}

CTraceFile::CTraceFile(const wchar_t* lpFileName) : m_path(testsupport::CommonAppDataFolder() + L"\\" + lpFileName)
{
    UnderLock(kTraceLock, [&] { testsupport::DeleteFileIfExists(m_path); });
    SetString(kDbgLogKey, L"filename", lpFileName);
    SetDword(kDbgLogKey, L"logform", 2);
    SetDword(kDbgLogKey, L"loglevel", 0);
}

std::vector<TraceLine> CTraceFile::Read() const
{
    std::vector<std::wstring> raw;
    UnderLock(kTraceLock, [&] { raw = testsupport::ReadUtf16Lines(m_path); });
    // "[stamp][PID][TID][function][line] text", the stamp 25 characters long.
    std::vector<TraceLine> lines;
    for (const auto& text : raw) {
        size_t nText = text.find(L"] ", 45);
        if (text.size() > 45 && text[25] == L'[' && text[45] == L'[' && nText != std::wstring::npos) {
            lines.push_back({wcstoul(text.c_str() + 26, nullptr, 16), text.substr(nText + 2)});
        }
    }
    return lines;
}

std::vector<TraceLine> CTraceFile::Find(size_t nFrom, DWORD dwProcessId, const std::wstring& text) const
{
    std::vector<TraceLine> lines = Read();
    std::vector<TraceLine> found;
    for (size_t i = nFrom; i < lines.size(); ++i) {
        if ((dwProcessId == 0 || lines[i].dwProcessId == dwProcessId) && lines[i].text.find(text) != std::wstring::npos) {
            found.push_back(lines[i]);
        }
    }
    return found;
}

bool CTraceFile::WaitFor(size_t nFrom, DWORD dwProcessId, const std::wstring& text) const
{
    return testsupport::WaitUntil([&] { return !Find(nFrom, dwProcessId, text).empty(); }, kWait, kPollMs);
}

std::vector<pipetest::CEventLog::Record> Commands(pipetest::CEventLog& log, size_t nFrom, DWORD dwCmd)
{
    std::vector<pipetest::CEventLog::Record> records = log.Records();
    std::vector<pipetest::CEventLog::Record> found;
    for (size_t i = nFrom; i < records.size(); ++i) {
        DWORD dwCode = 0;
        if (records[i].dwEvent == PIPEEVENT_RECEIVED && records[i].payload.size() >= sizeof(dwCode)) {
            CopyMemory(&dwCode, records[i].payload.data(), sizeof(dwCode));
            if (dwCode == dwCmd) {
                found.push_back(records[i]);
            }
        }
    }
    return found;
}

bool WaitForCommands(pipetest::CEventLog& log, size_t nFrom, DWORD dwCmd, size_t nCount)
{
    return testsupport::WaitUntil([&] { return Commands(log, nFrom, dwCmd).size() >= nCount; }, kWait);
}

pipetest::CEventLog::Record WaitForCommand(pipetest::CEventLog& log, size_t nFrom, DWORD dwCmd)
{
    if (!WaitForCommands(log, nFrom, dwCmd)) {
        return {};
    }
    return Commands(log, nFrom, dwCmd)[0];
}

DWORD CTestClient::Connect()
{
    DWORD dwClientId = 0;
    return m_PipeCl.Initialize(CPipeCl::kModeReceiveAndSend, kPipeSuffix, &dwClientId, pipetest::CEventLog::Callback,
                               &m_log, nullptr);
}

DWORD CTestClient::Send(const void* lpData, DWORD cb)
{
    DWORD dwRetCode = 0;
    return m_PipeCl.Send(lpData, cb, &dwRetCode, nullptr);
}

void SetPowerSupply(const char* lpOnline, const char* lpStatus, const char* lpChargeNow)
{
    wchar_t szFolder[MAX_PATH];
    DWORD cbFolder = sizeof(szFolder);
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\ZAVSim\\PowerSupply", L"Folder",
                                          RRF_RT_REG_SZ, nullptr, szFolder, &cbFolder));
    const std::pair<const wchar_t*, const char*> entries[] = {
        {L"AC\\online", lpOnline}, {L"BAT0\\status", lpStatus}, {L"BAT0\\charge_now", lpChargeNow}};
    for (const auto& entry : entries) {
        std::wstring path = std::wstring(szFolder) + L"\\" + entry.first;
        CScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file.IsValid()) << testsupport::Narrow(path);
        DWORD cbWritten = 0;
        ASSERT_TRUE(WriteFile(file.Get(), entry.second, static_cast<DWORD>(strlen(entry.second)), &cbWritten, nullptr));
    }
}

}  // namespace integ
