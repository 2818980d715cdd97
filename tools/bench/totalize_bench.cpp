// Times the log library's totalization and reading on generated logs, beside the floor
// of the same work: reading the same files once, splitting the lines into cells and
// converting the numbers. Prints figures only; tools/bench-totalize.sh runs it.
//
//   totalize_bench.exe FOLDER      (an empty scratch folder; the logs go below it)
//
// A day of raw samples at a 1-second interval, a week of them (the backlog after a
// long absence), a year of daily files folded into the yearly file, and the viewer's
// year and month questions on that year.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "QuoLogCore.h"
#include "QuoLogEnv.h"
#include "ReadPositionStore.h"
#include "TempLog.h"
#include "TotalizeLog.h"

namespace {

const DWORD kInterval = 1000;
const DWORD kReadRepeats = 20;

class CMemoryPositions : public CReadPositionStore {
public:
    DWORD QueryString(LPCWSTR lpName, LPWSTR lpBuf, DWORD cchBuf) override
    {
        auto it = m_Strings.find(lpName);
        if (it == m_Strings.end()) {
            return ERROR_FILE_NOT_FOUND;
        }
        lstrcpynW(lpBuf, it->second.c_str(), static_cast<int>(cchBuf));
        return ERROR_SUCCESS;
    }
    DWORD QueryDword(LPCWSTR lpName, LPDWORD lpValue) override
    {
        auto it = m_Dwords.find(lpName);
        if (it == m_Dwords.end()) {
            return ERROR_FILE_NOT_FOUND;
        }
        *lpValue = it->second;
        return ERROR_SUCCESS;
    }
    DWORD SetString(LPCWSTR lpName, LPCWSTR lpValue) override
    {
        m_Strings[lpName] = lpValue;
        return ERROR_SUCCESS;
    }
    DWORD SetDword(LPCWSTR lpName, DWORD dwValue) override
    {
        m_Dwords[lpName] = dwValue;
        return ERROR_SUCCESS;
    }

private:
    std::map<std::wstring, std::wstring> m_Strings;
    std::map<std::wstring, DWORD> m_Dwords;
};

double Seconds()
{
    static LARGE_INTEGER freq = {};
    if (freq.QuadPart == 0) {
        QueryPerformanceFrequency(&freq);
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(freq.QuadPart);
}

SYSTEMTIME Date(WORD y, WORD m, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0)
{
    SYSTEMTIME t = {};
    t.wYear = y;
    t.wMonth = m;
    t.wDay = d;
    t.wHour = h;
    t.wMinute = mi;
    t.wSecond = s;
    return t;
}

SYSTEMTIME AddDays(const SYSTEMTIME& t, int nDays)
{
    SYSTEMTIME r;
    CQuoLog::OffsetDay(&t, &r, nDays);
    r.wHour = t.wHour;
    r.wMinute = t.wMinute;
    r.wSecond = t.wSecond;
    r.wMilliseconds = t.wMilliseconds;
    return r;
}

void WriteFileText(const std::wstring& path, const std::wstring& text)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::fwprintf(stderr, L"cannot write %ls (error %lu)\n", path.c_str(), GetLastError());
        ExitProcess(2);
    }
    const BYTE bom[] = {0xFF, 0xFE};
    DWORD cb = 0;
    WriteFile(h, bom, sizeof(bom), &cb, nullptr);
    WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(WCHAR)), &cb, nullptr);
    CloseHandle(h);
}

// A library instance on a log folder of its own, writer mode, positions in memory.
struct CBenchLog {
    CBenchLog(const std::wstring& dir, const SYSTEMTIME& stFirstDay) : m_Dir(dir)
    {
        CreateDirectoryW(dir.c_str(), nullptr);
        WCHAR szDay[CQuoLog::kDateTextChars];
        CQuoLog::FormatDate(stFirstDay, szDay, ARRAYSIZE(szDay));
        m_Positions.SetString(REGENTRY_LASTWRITEDAY, szDay);
        m_Positions.SetString(REGENTRY_LASTWRITEDAY2, szDay);
        m_Positions.SetDword(REGENTRY_LASTWRITELINE, 0);
        QuoLogEnvironment env = {};
        env.lpRegKeyPath = L"Software\\ZAV\\QUOViewerBench";
        env.lpPksSourcePath = L"Software\\ZAV\\QUOViewerBench\\None";
        env.lpLockName = L"QuoLogBenchFileAccess";
        env.lpRecovery = &m_lRecovery;
        env.lpWriter = &m_lWriter;
        env.lpLogDir = m_Dir.c_str();
        env.pPositionStore = &m_Positions;
        m_Log = new CQuoLog(env);
        DWORD dwResult = m_Log->mQUOLogInitialize(QUOLOG_MODE_WRITER, kInterval, FALSE, 0);
        if (dwResult != ERROR_SUCCESS) {
            std::fwprintf(stderr, L"the library cannot open %ls (error %lu)\n", dir.c_str(), dwResult);
            ExitProcess(2);
        }
    }
    ~CBenchLog()
    {
        m_Log->Finalize();
        delete m_Log;
    }
    std::wstring Path(DWORD dwKind, const SYSTEMTIME& t)
    {
        WCHAR sz[MAX_PATH];
        m_Log->GetLogFullPath(dwKind, &t, sz, ARRAYSIZE(sz), TRUE);
        return sz;
    }

    std::wstring m_Dir;
    CMemoryPositions m_Positions;
    volatile LONG m_lRecovery = 0;
    volatile LONG m_lWriter = 0;
    CQuoLog* m_Log = nullptr;
};

// One sample a second, with what a working day brings: plan changes, idle spells, a
// laptop's battery states, a sleep of 40 minutes at 12:20 and a power-off from 19:00 to
// 19:30. Returns the number of lines.
DWORD GenerateRawDay(CBenchLog& log, const SYSTEMTIME& stDay)
{
    static const wchar_t* const kPlans[] = {L"Balanced", L"QUO", L"Power saver"};
    std::wstring text;
    text.reserve(86400 * 110);
    WCHAR szLine[CTempLog::kLineChars];
    DWORD dwLines = 0;
    DWORD dwSeed = stDay.wDay * 7919u;
    for (DWORD s = 0; s < 86400; ++s) {
        SYSTEMTIME t = stDay;
        t.wHour = static_cast<WORD>(s / 3600);
        t.wMinute = static_cast<WORD>(s / 60 % 60);
        t.wSecond = static_cast<WORD>(s % 60);
        t.wMilliseconds = static_cast<WORD>(s * 7 % 1000);
        const bool bSleeping = s > 44400 && s < 46800;
        const bool bOff = s > 68400 && s < 70200;
        QuoLogData r = {};
        r.dwPowerStatus = QUOLOG_POWER_S0;
        if (s == 44400) {
            r.dwPowerStatus = QUOLOG_POWER_TO_S3S4;
        } else if (s == 46800) {
            r.dwPowerStatus = QUOLOG_POWER_FROM_S3S4;
        } else if (s == 68400) {
            r.dwPowerStatus = QUOLOG_POWER_TO_S5;
        } else if (s == 70200) {
            r.dwPowerStatus = QUOLOG_POWER_START;
        } else if (bSleeping || bOff) {
            continue;
        }
        dwSeed = dwSeed * 1103515245u + 12345u;
        const DWORD dwNoise = (dwSeed >> 16) & 0x3FF;
        r.dwPCWatt = 20000 + dwNoise * 20;
        r.dwMonWatt = 5000 + dwNoise;
        r.dwBatteryStatus = (s / 7200) % 3;
        r.dwBatteryLifePercent = 50 + s / 3600;
        r.dwBatteryCapacity = 30000 + s / 10;
        r.dwReductionWatt = dwNoise;
        lstrcpyW(r.szPowerPlan, kPlans[(s / 1200) % 3]);
        const bool bIdle = (s / 900) % 4 == 1;
        r.dwCPUUsage = bIdle ? 5 : 40 + dwNoise % 50;
        r.dwInputStatus = bIdle ? QUOLOG_STATE_OFF : QUOLOG_STATE_ON;
        r.dwHDDUsage = bIdle ? 2 : dwNoise % 100;
        r.dwSCRStatus = QUOLOG_STATE_OFF;
        lstrcpyW(r.szMonitorName1, L"Internal LCD");
        r.dwMonitorStatus1 = QUOLOG_STATE_ON;
        r.dwLCDLevel1 = 5;
        r.dwQUOLevel = 2;
        lstrcpyW(r.szUserName, L"bench");
        if (log.m_Log->GetTempLog()->FormatQuoLog(&r, &t, szLine, ARRAYSIZE(szLine)) == ERROR_SUCCESS) {
            text += szLine;
            ++dwLines;
        }
    }
    WriteFileText(log.Path(CCSVOperator::LOG_KIND_RAW, stDay), text);
    return dwLines;
}

// 48 slot lines a day for every day of the year wYear.
DWORD GenerateDailyYear(CBenchLog& log, WORD wYear)
{
    DWORD dwLines = 0;
    WCHAR szLine[CTotalizeLog::kLineChars];
    for (SYSTEMTIME d = Date(wYear, 1, 1); d.wYear == wYear; d = AddDays(d, 1)) {
        std::wstring text;
        for (WORD i = 0; i < 48; ++i) {
            QuoLogRead r = {};
            r.stTime = d;
            r.stTime.wHour = i / 2;
            r.stTime.wMinute = (i % 2) * 30;
            r.dwS0Time = 1800 - i;
            r.ullPCEnergy = 10000 + i * 37 + d.wDay;
            r.ullMonEnergy = 2500 + i;
            r.dwACTime = 1000;
            r.dwDCTime = 800 - i;
            lstrcpyW(r.szPowerPlan1, (i % 3 == 0) ? L"QUO" : L"Balanced");
            r.dwPowerPlan1Time = 1200;
            lstrcpyW(r.szPowerPlan2, L"Power saver");
            r.dwPowerPlan2Time = 600 - i;
            r.ullIdleEnergy = i * 3;
            r.ullReductPlanTime = (i % 3 == 0) ? 1200 : 0;
            r.ullReductEnergy = i;
            CTotalizeLog::FormatTotalLine(r, szLine, ARRAYSIZE(szLine));
            text += szLine;
            ++dwLines;
        }
        WriteFileText(log.Path(CCSVOperator::LOG_KIND_DAILY, d), text);
    }
    return dwLines;
}

// The floor: every file read once, each line split into cells and every number cell
// converted. Seconds taken.
double Floor(const std::vector<std::wstring>& paths, DWORD* pdwLines)
{
    const double t0 = Seconds();
    ULONGLONG ullSum = 0;
    *pdwLines = 0;
    for (const std::wstring& path : paths) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            continue;
        }
        LARGE_INTEGER size;
        GetFileSizeEx(h, &size);
        std::vector<WCHAR> text(static_cast<size_t>(size.QuadPart / 2) + 1);
        DWORD cb = 0;
        ReadFile(h, text.data(), static_cast<DWORD>(size.QuadPart), &cb, nullptr);
        CloseHandle(h);
        text[cb / 2] = L'\0';
        const WCHAR* cells[32];
        for (WCHAR* p = text.data() + 1; *p != L'\0';) {
            WCHAR* end = wcschr(p, L'\n');
            if (end == nullptr) {
                break;
            }
            *end = L'\0';
            size_t n = 0;
            cells[n++] = p;
            for (WCHAR* c = p; *c != L'\0' && n < 32; ++c) {
                if (*c == L',') {
                    *c = L'\0';
                    cells[n++] = c + 1;
                }
            }
            for (size_t i = 2; i < n; ++i) {
                if (cells[i][0] != L'"') {
                    ullSum += wcstoull(cells[i], nullptr, 10);
                }
            }
            ++*pdwLines;
            p = end + 1;
        }
    }
    const double dSeconds = Seconds() - t0;
    return (ullSum == 42) ? dSeconds + 1e-9 : dSeconds;  // keeps the conversions
}

void PrintRatio(const wchar_t* lpWhat, double dSeconds, DWORD dwLines, double dFloor, DWORD dwFloorLines)
{
    const double us = dSeconds * 1e6 / dwLines;
    const double floorUs = dFloor * 1e6 / dwFloorLines;
    std::wprintf(L"  %-34ls %8lu lines %8.2f s %7.2f us/line | floor %6.2f us/line | ratio %5.1f\n", lpWhat, dwLines,
                 dSeconds, us, floorUs, us / floorUs);
}

void BenchTotalizeOne(const std::wstring& base, const wchar_t* lpWhat, const SYSTEMTIME& stFirst, int nDays)
{
    CBenchLog log(base, stFirst);
    DWORD dwLines = 0;
    std::vector<std::wstring> paths;
    for (int i = 0; i < nDays; ++i) {
        SYSTEMTIME d = AddDays(stFirst, i);
        dwLines += GenerateRawDay(log, d);
        paths.push_back(log.Path(CCSVOperator::LOG_KIND_RAW, d));
    }
    DWORD dwFloorLines = 0;
    double dFloor = Floor(paths, &dwFloorLines);
    CTotalizeLog* pTotalize = log.m_Log->GetTotalizeLog();
    // The steps one by one on the first day: the library's load of the lines into cells,
    // then their mapping to records.
    if (nDays == 1) {
        CLineStore lines;
        double t0 = Seconds();
        pTotalize->ReadLines(paths[0].c_str(), 1, lines, nullptr);
        double t1 = Seconds();
        QuoLogData r;
        SYSTEMTIME t;
        DWORD dwElapsed;
        for (size_t i = 0; i < lines.Count(); ++i) {
            CTotalizeLog::MapRawLine(lines.Line(i), lines.Length(i), static_cast<DWORD>(i + 1), &r, &t, &dwElapsed);
        }
        double t2 = Seconds();
        std::wprintf(L"  steps: read the lines %.2f us/line, map them to records %.2f us/line\n",
                     (t1 - t0) * 1e6 / dwLines, (t2 - t1) * 1e6 / dwLines);
    }
    SYSTEMTIME stNow = AddDays(stFirst, nDays);
    stNow.wSecond = 5;
    double t0 = Seconds();
    DWORD dwResult = pTotalize->TotalizeQuoLogOne(stNow, nullptr);
    double dSeconds = Seconds() - t0;
    if (dwResult != ERROR_SUCCESS) {
        std::wprintf(L"  %ls: TotalizeQuoLogOne answered %lu\n", lpWhat, dwResult);
    }
    PrintRatio(lpWhat, dSeconds, dwLines, dFloor, dwFloorLines);
}

double MedianMs(std::vector<double>& times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2] * 1000.0;
}

void BenchYear(const std::wstring& base, WORD wYear)
{
    CBenchLog log(base, Date(wYear, 1, 1));
    DWORD dwLines = GenerateDailyYear(log, wYear);
    std::vector<std::wstring> paths;
    for (SYSTEMTIME d = Date(wYear, 1, 1); d.wYear == wYear; d = AddDays(d, 1)) {
        paths.push_back(log.Path(CCSVOperator::LOG_KIND_DAILY, d));
    }
    DWORD dwFloorLines = 0;
    double dFloor = Floor(paths, &dwFloorLines);
    SYSTEMTIME stNow = Date(static_cast<WORD>(wYear + 1), 1, 1, 0, 0, 5);
    double t0 = Seconds();
    DWORD dwResult = log.m_Log->GetTotalizeLog()->TotalizeQuoLogTwo(stNow, nullptr);
    double dSeconds = Seconds() - t0;
    if (dwResult != ERROR_SUCCESS) {
        std::wprintf(L"  yearly fold: TotalizeQuoLogTwo answered %lu\n", dwResult);
    }
    PrintRatio(L"TotalizeQuoLogTwo, a year (fold)", dSeconds, dwLines, dFloor, dwFloorLines);

    const struct {
        const wchar_t* lpWhat;
        DWORD dwKind;
    } questions[] = {{L"year", QUOLOG_READ_YEAR}, {L"month", QUOLOG_READ_MONTH}};
    const SYSTEMTIME stToday = Date(static_cast<WORD>(wYear + 1), 1, 10);
    const SYSTEMTIME stAsked = Date(wYear, 6, 15);
    for (const auto& q : questions) {
        std::vector<double> times;
        DWORD dwAnswer = 0;
        for (DWORD i = 0; i < kReadRepeats; ++i) {
            QuoLogRead rows[QUOLOG_MONTH_ROWS];
            QuoLogRead total;
            double r0 = Seconds();
            dwAnswer = log.m_Log->ReadAt(q.dwKind, &stAsked, rows, ARRAYSIZE(rows), &total, stToday);
            times.push_back(Seconds() - r0);
        }
        std::wprintf(L"  QUOLogRead %-5ls on a full year       %7.2f ms (median of %lu; answer %lu)\n", q.lpWhat,
                     MedianMs(times), kReadRepeats, dwAnswer);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fwprintf(stderr, L"usage: totalize_bench.exe FOLDER\n");
        return 1;
    }
    const std::wstring base = argv[1];
    CreateDirectoryW(base.c_str(), nullptr);
    std::wprintf(L"Totalization at a 1 s interval (us per raw line; floor: the same files read once, split, numbers converted)\n");
    BenchTotalizeOne(base + L"\\day", L"TotalizeQuoLogOne, a day", Date(2025, 3, 3), 1);
    BenchTotalizeOne(base + L"\\week", L"TotalizeQuoLogOne, a week backlog", Date(2025, 3, 10), 7);
    BenchYear(base + L"\\year", 2024);
    std::fflush(stdout);
    return 0;
}
