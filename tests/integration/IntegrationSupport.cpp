#include "IntegrationSupport.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include <gtest/gtest.h>

#include "NamedMutex.h"
#include "ScopedHandle.h"
#include "TestSupport.h"

namespace integ {

namespace {

const wchar_t kQuoLevelCallsKey[] = L"Software\\ZAVSim\\QuoLevelCalls";
// The lock every reader and writer of the log files takes, and the trace file's lock
// as the programs name it from their trace configuration key.
const wchar_t kLogFileLock[] = L"QuoLogFileAccess";
const wchar_t kTraceLock[] = L"clog_mutex_name_Software\\ZAV\\QUOViewer\\DbgLog";
const DWORD kLockWait = 10000;
const DWORD kPollMs = 100;

std::wstring Quote(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring quoted = L"\"";
    for (wchar_t c : arg) {
        if (c == L'"') {
            quoted += L'\\';
        }
        quoted += c;
    }
    return quoted + L"\"";
}

// This process's environment with the entries of extra added (replacing those of the
// same name), as a block for CreateProcessW.
std::vector<wchar_t> EnvironmentBlock(const std::vector<std::wstring>& extra)
{
    std::vector<std::wstring> entries;
    LPWCH lpStrings = GetEnvironmentStringsW();
    for (LPCWSTR p = lpStrings; p != nullptr && *p != L'\0'; p += wcslen(p) + 1) {
        entries.emplace_back(p);
    }
    FreeEnvironmentStringsW(lpStrings);
    for (const auto& entry : extra) {
        std::wstring name = entry.substr(0, entry.find(L'=') + 1);
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const std::wstring& e) { return _wcsnicmp(e.c_str(), name.c_str(), name.size()) == 0; }),
                      entries.end());
        entries.push_back(entry);
    }
    std::vector<wchar_t> block;
    for (const auto& entry : entries) {
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

// "[stamp][PID][TID][function][line] text": the long trace form.
bool ParseTraceLine(const std::wstring& line, TraceLine* pLine)
{
    size_t nFields[5];
    size_t nPos = 0;
    for (size_t& nField : nFields) {
        nPos = line.find(L'[', nPos);
        if (nPos == std::wstring::npos) {
            return false;
        }
        nField = ++nPos;
        nPos = line.find(L']', nPos);
        if (nPos == std::wstring::npos) {
            return false;
        }
    }
    pLine->dwProcessId = wcstoul(line.c_str() + nFields[1], nullptr, 16);
    size_t nFunctionEnd = line.find(L']', nFields[3]);
    pLine->function = line.substr(nFields[3], nFunctionEnd - nFields[3]);
    size_t nText = line.find(L"] ", nFields[4]);
    pLine->text = (nText == std::wstring::npos) ? std::wstring() : line.substr(nText + 2);
    return true;
}

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

}  // namespace

std::wstring ProgramPath(const wchar_t* lpFileName)
{
    std::wstring exe = testsupport::ThisExePath();
    return exe.substr(0, exe.find_last_of(L'\\') + 1) + lpFileName;
}

CProcess::~CProcess()
{
    if (m_hProcess != nullptr) {
        Kill();
        CloseHandle(m_hProcess);
    }
}

bool CProcess::Start(const std::wstring& exe, const std::vector<std::wstring>& args,
                     const std::vector<std::wstring>& env)
{
    std::wstring cmd = Quote(exe);
    for (const auto& arg : args) {
        cmd += L" " + Quote(arg);
    }
    std::vector<wchar_t> cmdBuf(cmd.begin(), cmd.end());
    cmdBuf.push_back(L'\0');
    std::vector<wchar_t> envBlock = EnvironmentBlock(env);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exe.c_str(), cmdBuf.data(), nullptr, nullptr, FALSE /* no handles */,
                        CREATE_UNICODE_ENVIRONMENT, envBlock.data(), nullptr, &si, &pi)) {
        fwprintf(stderr, L"CreateProcess(%ls) failed: %lu\n", exe.c_str(), GetLastError());
        return false;
    }
    CloseHandle(pi.hThread);
    m_hProcess = pi.hProcess;
    m_dwProcessId = pi.dwProcessId;
    return true;
}

DWORD CProcess::Wait(DWORD dwTimeoutMs)
{
    if (m_hProcess == nullptr || WaitForSingleObject(m_hProcess, dwTimeoutMs) != WAIT_OBJECT_0) {
        return kStillRunning;
    }
    DWORD dwExitCode = kStillRunning;
    GetExitCodeProcess(m_hProcess, &dwExitCode);
    return dwExitCode;
}

bool CProcess::IsRunning() const
{
    return m_hProcess != nullptr && WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT;
}

void CProcess::Kill()
{
    if (IsRunning()) {
        TerminateProcess(m_hProcess, 9);
        WaitForSingleObject(m_hProcess, 10000);
    }
}

DWORD RunQuomonsv(const std::vector<std::wstring>& args, DWORD dwTimeoutMs)
{
    CProcess process;
    if (!process.Start(ProgramPath(L"quomonsv.exe"), args)) {
        return kStillRunning;
    }
    return process.Wait(dwTimeoutMs);
}

std::wstring QuomonsvCommandLine()
{
    return L"\"" + ProgramPath(L"quomonsv.exe") + L"\"";
}

bool QueryService(const wchar_t* lpName, SERVICE_STATUS_PROCESS* pStatus)
{
    CScopedScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!scm.IsValid()) {
        return false;
    }
    CScopedScHandle service(OpenServiceW(scm.Get(), lpName, SERVICE_QUERY_STATUS));
    DWORD cbNeeded = 0;
    return service.IsValid()
        && QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(pStatus),
                                sizeof(*pStatus), &cbNeeded);
}

bool WaitForServiceState(const wchar_t* lpName, DWORD dwState, DWORD dwTimeoutMs)
{
    return pipetest::WaitUntil(
        [&] {
            SERVICE_STATUS_PROCESS status = {};
            return QueryService(lpName, &status) && status.dwCurrentState == dwState;
        },
        dwTimeoutMs);
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
    return WaitForServiceState(L"winmgmt", SERVICE_RUNNING, 30000) ? ERROR_SUCCESS : ERROR_TIMEOUT;
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

void DeleteValue(const wchar_t* lpKey, const wchar_t* lpName)
{
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, lpKey, lpName);
}

bool ReadDword(const wchar_t* lpKey, const wchar_t* lpName, DWORD* pdwValue)
{
    DWORD cbValue = sizeof(*pdwValue);
    return RegGetValueW(HKEY_LOCAL_MACHINE, lpKey, lpName, RRF_RT_REG_DWORD, nullptr, pdwValue, &cbValue)
        == ERROR_SUCCESS;
}

DWORD QuoLevelCalls(const wchar_t* lpFunction)
{
    DWORD dwCount = 0;
    return ReadDword(kQuoLevelCallsKey, lpFunction, &dwCount) ? dwCount : 0;
}

std::vector<rawlog::Record> ReadRawLog()
{
    std::vector<rawlog::Record> records;
    UnderLock(kLogFileLock, [&] { records = rawlog::ReadAll(); });
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
    for (size_t i = nFrom; i < records.size(); ++i) {
        if (match(records[i])) {
            found.push_back(records[i]);
        }
    }
    return found;
}

bool WaitForRecords(size_t nFrom, const RecordPredicate& match, size_t nCount, DWORD dwTimeoutMs,
                    std::vector<rawlog::Record>* pRecords)
{
    std::vector<rawlog::Record> records;
    ULONGLONG ullEnd = GetTickCount64() + dwTimeoutMs;
    bool bFound = false;
    for (;;) {
        records = ReadRawLog();
        bFound = Matching(records, nFrom, match).size() >= nCount;
        if (bFound || GetTickCount64() >= ullEnd) {
            break;
        }
        Sleep(kPollMs);
    }
    if (pRecords != nullptr) {
        *pRecords = std::move(records);
    }
    return bFound;
}

CTraceFile::CTraceFile(const wchar_t* lpFileName)
    : m_path(testsupport::CommonAppDataFolder() + L"\\" + lpFileName)
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
    std::vector<TraceLine> lines;
    for (const auto& text : raw) {
        TraceLine line;
        if (ParseTraceLine(text, &line)) {
            lines.push_back(std::move(line));
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

int CTraceFile::WaitFor(size_t nFrom, DWORD dwProcessId, const std::wstring& text, DWORD dwTimeoutMs) const
{
    int nIndex = -1;
    pipetest::WaitUntil(
        [&] {
            std::vector<TraceLine> lines = Read();
            for (size_t i = nFrom; i < lines.size(); ++i) {
                if ((dwProcessId == 0 || lines[i].dwProcessId == dwProcessId)
                    && lines[i].text.find(text) != std::wstring::npos) {
                    nIndex = static_cast<int>(i);
                    return true;
                }
            }
            Sleep(kPollMs);
            return false;
        },
        dwTimeoutMs);
    return nIndex;
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

bool WaitForCommands(pipetest::CEventLog& log, size_t nFrom, DWORD dwCmd, size_t nCount, DWORD dwTimeoutMs)
{
    return pipetest::WaitUntil([&] { return Commands(log, nFrom, dwCmd).size() >= nCount; }, dwTimeoutMs);
}

CTestClient::CTestClient()
{
    m_log.pReceiver = &m_PipeCl;
}

DWORD CTestClient::Connect()
{
    DWORD dwClientId = 0;
    return m_PipeCl.Initialize(CPipeCl::kModeReceiveAndSend, kPipeSuffix, &dwClientId, pipetest::CEventLog::Callback,
                               &m_log, nullptr);
}

void CTestClient::Disconnect()
{
    m_PipeCl.Finalize(nullptr);
}

DWORD CTestClient::Send(const void* lpData, DWORD cb)
{
    DWORD dwRetCode = 0;
    return m_PipeCl.Send(lpData, cb, &dwRetCode, nullptr);
}

}  // namespace integ
