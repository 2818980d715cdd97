#include "LogTestSupport.h"

#include <strsafe.h>

#include "FolderTree.h"

namespace logtest {

CLogTestPlace::CLogTestPlace(const std::wstring& name)
    : m_base(testsupport::CommonAppDataFolder() + L"\\ZAVTest\\" + testsupport::UniqueName(name)),
      m_lockName(testsupport::UniqueName(name + L"Lock")),
      m_reg(name)
{
    MakeFolders(m_base);
}

CLogTestPlace::~CLogTestPlace()
{
    foldertree::DeleteTree(m_base.c_str());
}

QuoLogEnvironment CLogTestPlace::Env(BOOL bRunWorker)
{
    QuoLogEnvironment env = {};
    env.lpRegKeyPath = m_reg.Path().c_str();
    env.lpPksSourcePath = nullptr;
    env.lpBaseFolder = m_base.c_str();
    env.lpProgramFolder = m_base.c_str();
    env.lpLockName = m_lockName.c_str();
    env.lpRecovery = &lRecovery;
    env.lpWriter = &lWriter;
    env.bRunWorker = bRunWorker;
    return env;
}

SYSTEMTIME MakeTime(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s, WORD ms)
{
    SYSTEMTIME st = {};
    st.wYear = y;
    st.wMonth = mo;
    st.wDay = d;
    st.wHour = h;
    st.wMinute = mi;
    st.wSecond = s;
    st.wMilliseconds = ms;
    return st;
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
    StringCchCopyW(r.szMonitorName2, ARRAYSIZE(r.szMonitorName2), L"");
    r.dwMonitorStatus2 = QUOLOG_STATE_UNKNOWN;
    r.dwLCDLevel2 = 0;
    r.dwQUOLevel = 3;
    StringCchCopyW(r.szUserName, ARRAYSIZE(r.szUserName), user.c_str());
    return r;
}

void WriteUtf16File(const std::wstring& path, const std::wstring& text, bool bom, const std::vector<unsigned char>& tail)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD cb = 0;
    if (bom) {
        const unsigned char mark[] = {0xFF, 0xFE};
        WriteFile(hFile, mark, sizeof(mark), &cb, nullptr);
    }
    WriteFile(hFile, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &cb, nullptr);
    if (!tail.empty()) {
        WriteFile(hFile, tail.data(), static_cast<DWORD>(tail.size()), &cb, nullptr);
    }
    CloseHandle(hFile);
}

std::wstring ReadUtf16Text(const std::wstring& path)
{
    std::vector<unsigned char> bytes = testsupport::ReadFileBytes(path);
    std::wstring text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
    }
    return text;
}

bool HasSingleBom(const std::wstring& path)
{
    std::vector<unsigned char> bytes = testsupport::ReadFileBytes(path);
    return bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE
        && !(bytes.size() >= 4 && bytes[2] == 0xFF && bytes[3] == 0xFE);
}

std::wstring RawLine(const SYSTEMTIME& st, DWORD status, DWORD interval)
{
    wchar_t sz[512];
    StringCchPrintfW(sz, ARRAYSIZE(sz),
                     L"%04u/%02u/%02u,%02u:%02u:%02u.%03u,%u,%u,10000,2000,1,80,40000,300,\"Balanced\",5,2,7,1,"
                     L"\"LCD\",2,4,\"\",0,0,3,\"user\"\r\n",
                     st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds,
                     status == QUOLOG_POWER_S0 ? interval : 0, status);
    return sz;
}

std::wstring TotalsLine(const SYSTEMTIME& st)
{
    wchar_t sz[512];
    StringCchPrintfW(sz, ARRAYSIZE(sz),
                     L"%04u/%02u/%02u,%02u:%02u:%02u.%03u,1800,0,0,5000,1000,1800,0,0,\"Balanced\",1800,\"\",0,0,0,0\r\n",
                     st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return sz;
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

}  // namespace logtest
