#include "LogTestSupport.h"

#include <strsafe.h>

#include <algorithm>

#include "FolderTree.h"
#include "TotalizeLog.h"

namespace logtest {

CLogTestPlace::CLogTestPlace(const std::wstring& name)
    : m_base(testsupport::CommonAppDataFolder() + L"\\ZAVTest\\" + testsupport::UniqueName(name)),
      m_lockName(testsupport::UniqueName(name + L"Lock")),
      m_reg(name),
      m_viewerKey(m_reg.Path() + L"\\Viewer")
{
    MakeFolders(m_base);
}

CLogTestPlace::~CLogTestPlace()
{
    foldertree::DeleteTree(m_base.c_str());
}

void CLogTestPlace::StartPositionsAt(const wchar_t* lpDay)
{
    m_reg.SetString(L"", L"LastWriteDay", lpDay);
    m_reg.SetDword(L"", L"LastWriteLine", 0);
    m_reg.SetString(L"", L"LastWriteDay2", lpDay);
}

std::wstring CLogTestPlace::RawPath(const std::wstring& day) const
{
    return LogDir() + L"\\QUOLogRaw" + day + L".csv";
}

std::wstring CLogTestPlace::DailyPath(const SYSTEMTIME& day) const
{
    return LogDir() + L"\\" + std::to_wstring(day.wYear) + L"\\QuoLogDaily" + DayName(day) + L".csv";
}

std::wstring CLogTestPlace::YearlyPath(WORD wYear) const
{
    return LogDir() + L"\\QuoLogYearly" + std::to_wstring(wYear) + L".csv";
}

QuoLogEnvironment CLogTestPlace::Env(BOOL bRunWorker)
{
    QuoLogEnvironment env = {};
    env.lpRegKeyPath = m_reg.Path().c_str();
    env.lpBaseFolder = m_base.c_str();
    env.lpProgramFolder = m_base.c_str();
    env.lpLockName = m_lockName.c_str();
    env.lpRecovery = &lRecovery;
    env.lpWriter = &lWriter;
    env.bRunWorker = bRunWorker;
    env.lpViewerKeyPath = m_viewerKey.c_str();
    return env;
}

DWORD CLogInstance::Open(DWORD dwMode, DWORD dwInterval, DWORD bDelay, DWORD dwDelayTime, BOOL bRunWorker)
{
    quoLog.reset();
    quoLog.reset(new CQuoLog(place.Env(bRunWorker)));
    return quoLog->mQUOLogInitialize(dwMode, dwInterval, bDelay, dwDelayTime);
}

CTotalizeLog& CLogInstance::Totalizer() const
{
    return *quoLog->GetTotalizeLog();
}

SYSTEMTIME MakeTime(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s, WORD ms)
{
    return SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
}

std::wstring DayName(const SYSTEMTIME& t)
{
    wchar_t sz[16];
    StringCchPrintfW(sz, ARRAYSIZE(sz), L"%04u%02u%02u", t.wYear, t.wMonth, t.wDay);
    return sz;
}

QuoLogData MakeRecord(DWORD status, DWORD seed, const std::wstring& plan, const std::wstring& user)
{
    QuoLogData r = {};
    r.dwPowerStatus = status;
    r.dwPCWatt = 10000 + seed;
    r.dwMonWatt = 2000 + seed;
    r.dwBatteryStatus = QUOLOG_BATTERY_AC;
    r.dwBatteryLifePercent = 80;
    r.dwBatteryCapacity = 40000 + seed;
    r.dwReductionWatt = 300 + seed;
    StringCchCopyW(r.szPowerPlan, ARRAYSIZE(r.szPowerPlan), plan.c_str());
    r.dwCPUUsage = 5;
    r.dwInputStatus = QUOLOG_STATE_ON;
    r.dwHDDUsage = 7;
    r.dwSCRStatus = QUOLOG_STATE_OFF;
    StringCchCopyW(r.szMonitorName1, ARRAYSIZE(r.szMonitorName1), L"LCD");
    r.dwMonitorStatus1 = QUOLOG_STATE_ON;
    r.dwLCDLevel1 = 4;
    r.dwMonitorStatus2 = QUOLOG_STATE_UNKNOWN;
    r.dwQUOLevel = 3;
    StringCchCopyW(r.szUserName, ARRAYSIZE(r.szUserName), user.c_str());
    return r;
}

void WriteUtf16File(const std::wstring& path, const std::wstring& text, bool bom, const std::vector<unsigned char>& tail)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    CScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const unsigned char mark[] = {0xFF, 0xFE};
    DWORD cb = 0;
    WriteFile(file.Get(), mark, bom ? sizeof(mark) : 0, &cb, nullptr);
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &cb, nullptr);
    if (!tail.empty()) {
        WriteFile(file.Get(), tail.data(), static_cast<DWORD>(tail.size()), &cb, nullptr);
    }
}

RawSample Status(DWORD status, DWORD capacity)
{
    RawSample sample;
    sample.status = status;
    sample.capacity = capacity;
    return sample;
}

std::wstring RawLine(const SYSTEMTIME& t, const RawSample& s)
{
    wchar_t sz[512];
    StringCchPrintfW(sz, ARRAYSIZE(sz),
                     L"%04u/%02u/%02u,%02u:%02u:%02u.%03u,%u,%u,%u,%u,%u,80,%u,%u,\"%s\",%u,%u,%u,1,\"LCD\",2,4,"
                     L"\"\",0,0,3,\"user\"\r\n",
                     t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                     s.status == QUOLOG_POWER_S0 ? 5000u : 0u, s.status, s.pc, s.mon, s.battery, s.capacity, s.reduct,
                     s.plan.c_str(), s.cpu, s.input, s.hdd);
    return sz;
}

std::wstring RawLine(const SYSTEMTIME& t, DWORD status)
{
    return RawLine(t, Status(status));
}

void AddRaw(const std::wstring& folder, const SYSTEMTIME& t, const RawSample& sample)
{
    const std::wstring path = folder + L"\\QUOLogRaw" + DayName(t) + L".csv";
    if (!testsupport::FileExists(path)) {
        WriteUtf16File(path, L"");
    }
    const std::wstring line = RawLine(t, sample);
    CScopedFileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD cb = 0;
    WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &cb, nullptr);
}

std::wstring TotalsLine(const SYSTEMTIME& t, DWORD s0, DWORD pc, const wchar_t* plan, DWORD planTime)
{
    wchar_t sz[256];
    StringCchPrintfW(sz, ARRAYSIZE(sz), L"%04u/%02u/%02u,%02u:%02u:00.000,%u,0,0,%u,0,0,0,0,\"%s\",%u,\"\",0,0,0,0\r\n",
                     t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, s0, pc, plan, planTime);
    return sz;
}

std::vector<std::wstring> Column(const std::vector<std::wstring>& lines, size_t n)
{
    std::vector<std::wstring> column;
    for (const std::wstring& line : lines) {
        std::vector<std::wstring> cells = testsupport::CsvCells(line);
        column.push_back(n < cells.size() ? cells[n] : L"");
    }
    return column;
}

std::wstring RegString(const std::wstring& key, const wchar_t* name)
{
    wchar_t sz[64] = L"";
    DWORD cb = sizeof(sz);
    RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, sz, &cb);
    return sz;
}

DWORD RegDword(const std::wstring& key, const wchar_t* name)
{
    DWORD dw = 0xDEADBEEF;
    DWORD cb = sizeof(dw);
    RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &dw, &cb);
    return dw;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name)
{
    return folder + L"\\" + name;
}

void MakeFolders(const std::wstring& path)
{
    for (size_t pos = path.find(L'\\', 3); pos != std::wstring::npos; pos = path.find(L'\\', pos + 1)) {
        CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
    }
    CreateDirectoryW(path.c_str(), nullptr);
}

CTestEvent::CTestEvent(const wchar_t* prefix) : m_name(L"Local\\" + testsupport::UniqueName(prefix))
{
    m_h.Reset(CreateEventW(nullptr, TRUE, FALSE, m_name.c_str()));
}

bool CQuoLogDll::Load()
{
    HMODULE hModule = LoadLibraryW(L"QUOLog.dll");
    if (hModule == nullptr) {
        return false;
    }
    auto proc = [hModule](auto& func, WORD wOrdinal) {
        func = reinterpret_cast<std::remove_reference_t<decltype(func)>>(
            reinterpret_cast<void (*)()>(GetProcAddress(hModule, MAKEINTRESOURCEA(wOrdinal))));
        return func != nullptr;
    };
    return proc(Initialize, 1) && proc(Write, 2) && proc(Read, 3) && proc(Finalize, 4) && proc(Recovery, 5)
        && proc(CopyPksReg, 6);
}

std::string ReadText(const std::wstring& path)
{
    std::vector<unsigned char> bytes = testsupport::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::wstring> Stamps(const std::wstring& path)
{
    std::vector<std::wstring> stamps;
    for (const std::wstring& line : testsupport::ReadUtf16Lines(path)) {
        stamps.push_back(line.substr(0, 23));
    }
    return stamps;
}

CScopedFileHandle HoldWithoutSharing(const std::wstring& path, DWORD dwDisposition)
{
    return CScopedFileHandle(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, dwDisposition, 0, nullptr));
}

ToolRun RunQuolog(const std::vector<std::wstring>& args)
{
    std::wstring exe = testsupport::ThisExePath();
    exe = exe.substr(0, exe.rfind(L'\\')) + L"\\quolog.exe";
    std::wstring cmd = L"\"" + exe + L"\"";
    for (const std::wstring& arg : args) {
        cmd += (arg.empty() || arg.find(L' ') != std::wstring::npos) ? L" \"" + arg + L"\"" : L" " + arg;
    }
    const std::wstring out = testsupport::CommonAppDataFolder() + L"\\" + testsupport::UniqueName(L"quolog");
    const std::wstring err = out + L".err";
    ToolRun run;
    {
        SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
        CScopedFileHandle hOut(CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
        CScopedFileHandle hErr(CreateFileW(err.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = hOut.Get();
        si.hStdError = hErr.Get();
        PROCESS_INFORMATION pi = {};
        if (CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
            CScopedKernelHandle process(pi.hProcess);
            CloseHandle(pi.hThread);
            if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
                GetExitCodeProcess(pi.hProcess, &run.dwExitCode);
            } else {
                TerminateProcess(pi.hProcess, 9);
            }
        }
    }
    run.out = ReadText(out);
    run.err = ReadText(err);
    DeleteFileW(out.c_str());
    DeleteFileW(err.c_str());
    return run;
}

}  // namespace logtest
