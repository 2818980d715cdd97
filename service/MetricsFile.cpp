#include "MetricsFile.h"

#include <algorithm>
#include <new>

#include <strsafe.h>

#include "Reg.h"
#include "ScopedHandle.h"
#include "Trace.h"

const WCHAR CMetricsFile::kFileName[] = L"quoviewer.prom";
const WCHAR CMetricsFile::REGENTRY_METRICSDIR[] = L"MetricsDir";

namespace metrics {

namespace {

const WCHAR kTempSuffix[] = L".tmp";
const int kRenameAttempts = 5;
const DWORD kRenameRetryMs = 20;
const ULONGLONG kMwMsPerMillijoule = 1000;  // 1 mJ = 1 mW x 1000 ms
const ULONGLONG kMillijoulesPerMWh = 3600;  // 1 mWh = 1 mW x 3600 s
const ULONGLONG kUnixEpochAsFileTime = 116444736000000000ULL;
const unsigned kReplacementChar = 0xFFFD;

void AppendUnsigned(std::string& out, ULONGLONG ullValue)
{
    char sz[24];
    size_t i = sizeof(sz);
    do {
        sz[--i] = static_cast<char>('0' + ullValue % 10);
        ullValue /= 10;
    } while (ullValue != 0);
    out.append(sz + i, sizeof(sz) - i);
}

// ullValue / ullScale with as many decimals as ullScale has zeros, without the
// locale or the rounding of a floating-point format.
void AppendFixed(std::string& out, ULONGLONG ullValue, ULONGLONG ullScale)
{
    AppendUnsigned(out, ullValue / ullScale);
    out += '.';
    ULONGLONG ullFraction = ullValue % ullScale;
    for (ULONGLONG ullDigit = ullScale / 10; ullDigit != 0; ullDigit /= 10) {
        out += static_cast<char>('0' + ullFraction / ullDigit % 10);
    }
}

void AppendUtf8(std::string& out, unsigned codePoint)
{
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// A label value in double quotes: UTF-8, with backslash, double quote and line feed
// escaped as the format asks. Other control characters and unpaired surrogates, which
// would break a line-oriented reader or the UTF-8, become U+FFFD.
void AppendLabelValue(std::string& out, LPCWSTR lpText)
{
    out += '"';
    for (const WCHAR* p = lpText; *p != L'\0'; ++p) {
        unsigned unit = *p;
        if (unit == L'\\') {
            out += "\\\\";
        } else if (unit == L'"') {
            out += "\\\"";
        } else if (unit == L'\n') {
            out += "\\n";
        } else if (unit < 0x20 || unit == 0x7F) {
            AppendUtf8(out, kReplacementChar);
        } else if (unit >= 0xD800 && unit <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (p[1] - 0xDC00));
            ++p;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, kReplacementChar);
        } else {
            AppendUtf8(out, unit);
        }
    }
    out += '"';
}

// The # HELP and # TYPE lines of a family; the texts are the program's own constants,
// free of backslashes and line feeds.
void AppendFamily(std::string& out, const char* lpName, const char* lpType, const char* lpHelp)
{
    out += "# HELP ";
    out += lpName;
    out += ' ';
    out += lpHelp;
    out += "\n# TYPE ";
    out += lpName;
    out += ' ';
    out += lpType;
    out += '\n';
}

void AppendGaugeFixed(std::string& out, const char* lpName, const char* lpHelp, ULONGLONG ullValue, ULONGLONG ullScale)
{
    AppendFamily(out, lpName, "gauge", lpHelp);
    out += lpName;
    out += ' ';
    AppendFixed(out, ullValue, ullScale);
    out += '\n';
}

void AppendGaugeUnsigned(std::string& out, const char* lpName, const char* lpHelp, ULONGLONG ullValue)
{
    AppendFamily(out, lpName, "gauge", lpHelp);
    out += lpName;
    out += ' ';
    AppendUnsigned(out, ullValue);
    out += '\n';
}

void AppendSample(std::string& out, const Sample& sample)
{
    AppendGaugeUnsigned(out, "quoviewer_power_reading_success",
                        "Whether the last sample read the PC's power (1) or the reading failed (0).",
                        sample.bWattRead ? 1 : 0);
    if (sample.bWattRead) {
        AppendGaugeFixed(out, "quoviewer_pc_power_watts", "Power the PC draws, as last sampled.", sample.dwPCWatt,
                         1000);
    }
    AppendGaugeFixed(out, "quoviewer_display_power_watts", "Power the external displays draw, as last sampled.",
                     sample.dwMonWatt, 1000);
    if (sample.bBattery && sample.dwBatteryStatus != QUOLOG_BATTERY_UNKNOWN && sample.dwBatteryPercent <= 100) {
        AppendGaugeFixed(out, "quoviewer_battery_charge_ratio", "Charge of the batteries, 0 to 1.",
                         sample.dwBatteryPercent, 100);
    }
    static const char* const kSources[] = {"unknown", "ac", "battery", "charging"};
    DWORD dwSource = (sample.dwBatteryStatus < ARRAYSIZE(kSources)) ? sample.dwBatteryStatus : QUOLOG_BATTERY_UNKNOWN;
    AppendFamily(out, "quoviewer_power_source", "gauge", "The power source the PC runs from (1) among the others (0).");
    for (DWORD i = 0; i < ARRAYSIZE(kSources); ++i) {
        out += "quoviewer_power_source{source=\"";
        out += kSources[i];
        out += (i == dwSource) ? "\"} 1\n" : "\"} 0\n";
    }
    AppendFamily(out, "quoviewer_power_plan_info", "gauge", "The active power plan.");
    out += "quoviewer_power_plan_info{plan=";
    AppendLabelValue(out, sample.szPowerPlan);
    out += "} 1\n";
}

// The length of lpPath's root: 3 for "X:\", the length of "\\server\share" for a
// network path; false for any other path (relative, or a "\\?\" or "\\.\" form).
bool FolderRootLength(LPCWSTR lpPath, size_t* pcchRoot)
{
    if (((lpPath[0] >= L'A' && lpPath[0] <= L'Z') || (lpPath[0] >= L'a' && lpPath[0] <= L'z')) && lpPath[1] == L':'
        && lpPath[2] == L'\\') {
        *pcchRoot = 3;
        return true;
    }
    if (lpPath[0] != L'\\' || lpPath[1] != L'\\' || lpPath[2] == L'?' || lpPath[2] == L'.') {
        return false;
    }
    // \\server\share: both names non-empty.
    const WCHAR* pServerEnd = wcschr(lpPath + 2, L'\\');
    if (pServerEnd == nullptr || pServerEnd == lpPath + 2 || pServerEnd[1] == L'\\' || pServerEnd[1] == L'\0') {
        return false;
    }
    const WCHAR* pShareEnd = wcschr(pServerEnd + 1, L'\\');
    *pcchRoot = (pShareEnd != nullptr) ? static_cast<size_t>(pShareEnd - lpPath) : wcslen(lpPath);
    return true;
}

// Makes szPath a folder path in the one form the writer works with: backslashes, no
// trailing backslash below the root. 0, or 161 for a path that is not absolute or has an
// empty, "." or ".." component.
DWORD NormalizeFolderPath(LPWSTR szPath)
{
    for (WCHAR* p = szPath; *p != L'\0'; ++p) {
        if (*p == L'/') {
            *p = L'\\';
        }
    }
    size_t cchRoot = 0;
    if (!FolderRootLength(szPath, &cchRoot)) {
        return ERROR_BAD_PATHNAME;
    }
    size_t cch = wcslen(szPath);
    while (cch > cchRoot && szPath[cch - 1] == L'\\') {
        szPath[--cch] = L'\0';
    }
    // Every component below the root a plain name: none empty, "." or "..".
    for (size_t nStart = cchRoot; nStart < cch;) {
        if (szPath[nStart] == L'\\') {
            ++nStart;
        }
        size_t nEnd = nStart;
        while (nEnd < cch && szPath[nEnd] != L'\\') {
            ++nEnd;
        }
        size_t cchName = nEnd - nStart;
        if (cchName == 0 || (cchName == 1 && szPath[nStart] == L'.')
            || (cchName == 2 && szPath[nStart] == L'.' && szPath[nStart + 1] == L'.')) {
            return ERROR_BAD_PATHNAME;
        }
        nStart = nEnd;
    }
    return ERROR_SUCCESS;
}

// szOut = lpDir\lpName + lpSuffix; 206 when it does not fit.
DWORD JoinFolderPath(LPWSTR szOut, size_t cchOut, LPCWSTR lpDir, LPCWSTR lpName, LPCWSTR lpSuffix)
{
    size_t cchDir = wcslen(lpDir);
    LPCWSTR lpSeparator = (cchDir > 0 && lpDir[cchDir - 1] == L'\\') ? L"" : L"\\";
    return SUCCEEDED(StringCchPrintfW(szOut, cchOut, L"%s%s%s%s", lpDir, lpSeparator, lpName, lpSuffix))
               ? ERROR_SUCCESS
               : ERROR_FILENAME_EXCED_RANGE;
}

// Whether lpPath is an existing folder that is no reparse point: 0, the system's
// error, or kErrorLinkRefused.
DWORD CheckFolder(LPCWSTR lpPath)
{
    DWORD dwAttributes = GetFileAttributesW(lpPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES) {
        return GetLastError();
    }
    if ((dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return kErrorLinkRefused;
    }
    return ERROR_SUCCESS;
}

// Checks every folder of lpDir below its root ("X:\" or "\\server\share").
DWORD CheckFolders(LPCWSTR lpDir)
{
    size_t cchRoot = 0;
    if (!FolderRootLength(lpDir, &cchRoot)) {
        return ERROR_BAD_PATHNAME;
    }
    WCHAR szPrefix[MAX_PATH];
    if (FAILED(StringCchCopyW(szPrefix, ARRAYSIZE(szPrefix), lpDir))) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    size_t cch = wcslen(lpDir);
    for (size_t i = cchRoot + 1; i <= cch; ++i) {
        if (i == cch || lpDir[i] == L'\\') {
            szPrefix[i] = L'\0';
            DWORD dwResult = CheckFolder(szPrefix);
            szPrefix[i] = lpDir[i];
            if (dwResult != ERROR_SUCCESS) {
                return dwResult;
            }
        }
    }
    return ERROR_SUCCESS;
}

// 0 for a missing file or a plain one; kErrorLinkRefused for a reparse point or a folder.
DWORD CheckPlainFile(LPCWSTR lpPath)
{
    DWORD dwAttributes = GetFileAttributesW(lpPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES) {
        DWORD dwError = GetLastError();
        return (dwError == ERROR_FILE_NOT_FOUND) ? ERROR_SUCCESS : dwError;
    }
    if ((dwAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        return kErrorLinkRefused;
    }
    return ERROR_SUCCESS;
}

DWORD WriteAll(HANDLE hFile, const std::string& text)
{
    size_t cbDone = 0;
    while (cbDone < text.size()) {
        DWORD cbChunk = static_cast<DWORD>(std::min<size_t>(text.size() - cbDone, 0x10000));
        DWORD cbWritten = 0;
        if (!WriteFile(hFile, text.data() + cbDone, cbChunk, &cbWritten, nullptr)) {
            return GetLastError();
        }
        if (cbWritten == 0) {
            return ERROR_WRITE_FAULT;
        }
        cbDone += cbWritten;
    }
    return FlushFileBuffers(hFile) ? ERROR_SUCCESS : GetLastError();
}

// Renames lpFrom over lpTo. A reader that has the old file open without allowing its
// deletion holds the rename off for a moment: it is tried again a few times.
DWORD RenameOver(LPCWSTR lpFrom, LPCWSTR lpTo)
{
    for (int nAttempt = 1;; ++nAttempt) {
        if (MoveFileExW(lpFrom, lpTo, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return ERROR_SUCCESS;
        }
        DWORD dwError = GetLastError();
        if (nAttempt == kRenameAttempts || (dwError != ERROR_SHARING_VIOLATION && dwError != ERROR_ACCESS_DENIED)) {
            return dwError;
        }
        Sleep(kRenameRetryMs);
    }
}

// Now, in ms since 1970 (UTC).
ULONGLONG UnixTimeMs()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER now = {{ft.dwLowDateTime, ft.dwHighDateTime}};
    return (now.QuadPart > kUnixEpochAsFileTime) ? (now.QuadPart - kUnixEpochAsFileTime) / 10000 : 0;
}

}  // namespace

DWORD Format(const Snapshot& snapshot, std::string& text)
{
    try {
        text.clear();
        if (snapshot.bHasSample) {
            AppendSample(text, snapshot.sample);
        }
        AppendGaugeUnsigned(text, "quoviewer_logging_enabled", "Whether measuring and recording are on (1) or off (0).",
                            snapshot.bLogging ? 1 : 0);
        AppendFamily(text, "quoviewer_energy_joules_total", "counter",
                     "Energy of the PC and its displays since the service started.");
        text += "quoviewer_energy_joules_total ";
        AppendFixed(text, snapshot.ullEnergyMwMs / kMwMsPerMillijoule, 1000);
        text += '\n';
        if (snapshot.bHasToday) {
            AppendGaugeFixed(text, "quoviewer_today_energy_joules",
                             "Energy of the PC and its displays today, in the half-hours the log has totalled.",
                             snapshot.today.ullEnergyMWh * kMillijoulesPerMWh, 1000);
            AppendGaugeUnsigned(text, "quoviewer_today_running_seconds",
                                "Running time today, in the half-hours the log has totalled.",
                                snapshot.today.dwRunningSeconds);
            AppendGaugeFixed(text, "quoviewer_today_reduction_energy_joules",
                             "Energy saved in the reduction power plans today, in the half-hours the log has totalled.",
                             snapshot.today.ullReductionMWh * kMillijoulesPerMWh, 1000);
        }
        if (snapshot.ullLastSampleUnixMs != 0) {
            AppendGaugeFixed(text, "quoviewer_last_sample_timestamp_seconds",
                             "Time of the last sample, in seconds since 1970 (UTC).", snapshot.ullLastSampleUnixMs,
                             1000);
        }
        return ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

DWORD WriteWhole(LPCWSTR lpDir, LPCWSTR lpName, const std::string& text)
{
    WCHAR szFile[MAX_PATH];
    WCHAR szTemp[MAX_PATH];
    DWORD dwResult = JoinFolderPath(szFile, ARRAYSIZE(szFile), lpDir, lpName, L"");
    if (dwResult == ERROR_SUCCESS) {
        dwResult = JoinFolderPath(szTemp, ARRAYSIZE(szTemp), lpDir, lpName, kTempSuffix);
    }
    // The folder is held open first, without delete sharing: while it is, neither it nor
    // a folder above it can be renamed or deleted, so the path checked below cannot be
    // swapped for a link before the file is in place.
    CScopedFileHandle folder;
    if (dwResult == ERROR_SUCCESS) {
        folder.Reset(CreateFileW(lpDir, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        dwResult = folder.IsValid() ? ERROR_SUCCESS : GetLastError();
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (dwResult == ERROR_SUCCESS) {
        dwResult = GetFileInformationByHandle(folder.Get(), &info) ? ERROR_SUCCESS : GetLastError();
    }
    if (dwResult == ERROR_SUCCESS
        && ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0
            || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
        dwResult = kErrorLinkRefused;
    }
    if (dwResult == ERROR_SUCCESS) {
        dwResult = CheckFolders(lpDir);
    }
    if (dwResult == ERROR_SUCCESS) {
        dwResult = CheckPlainFile(szFile);
    }
    if (dwResult != ERROR_SUCCESS) {
        return dwResult;
    }
    // A temporary file left by a write that was cut short, or a link planted under its
    // name, is removed (a link as a link); the new one must then be new.
    DeleteFileW(szTemp);
    HANDLE hFile = CreateFileW(szTemp, GENERIC_WRITE, 0 /* no sharing */, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    CScopedFileHandle file(hFile);
    dwResult = WriteAll(file.Get(), text);
    file.Reset();
    if (dwResult == ERROR_SUCCESS) {
        dwResult = RenameOver(szTemp, szFile);
    }
    if (dwResult != ERROR_SUCCESS) {
        DeleteFileW(szTemp);
    }
    return dwResult;
}

}  // namespace metrics

CMetricsFile::CMetricsFile()
    : m_bEnabled(false), m_szDir(), m_dwIntervalMs(0), m_pReadLog(nullptr), m_Snapshot(), m_bCounted(false),
      m_dwLastSampleTick(0), m_bAttempted(false), m_dwLastWriteTick(0), m_bWritten(false),
      m_dwLastResult(ERROR_SUCCESS)
{
}

CMetricsFile::~CMetricsFile()
{
    Finalize();
}

DWORD CMetricsFile::Initialize(LPCWSTR lpKeyPath, DWORD dwIntervalMs, ReadLogFunc pReadLog)
{
    TRACE_ENTER(1);
    if (lpKeyPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpKeyPath);
    }
    if (pReadLog == nullptr) {
        return TRACE_NULL_ARGUMENT(pReadLog);
    }
    Finalize();
    WCHAR szDir[MAX_PATH] = L"";
    CReg reg;
    DWORD dwResult = reg.OpenKey(lpKeyPath, KEY_READ);
    if (dwResult == ERROR_SUCCESS) {
        DWORD cch = ARRAYSIZE(szDir);
        dwResult = reg.QueryStringValue(REGENTRY_METRICSDIR, szDir, &cch);
    }
    if (dwResult == ERROR_FILE_NOT_FOUND || (dwResult == ERROR_SUCCESS && szDir[0] == L'\0')) {
        TRACE(0, L"No metrics file: MetricsDir is not set.");
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    if (dwResult == ERROR_MORE_DATA) {
        dwResult = ERROR_FILENAME_EXCED_RANGE;
    }
    if (dwResult == ERROR_SUCCESS) {
        dwResult = metrics::NormalizeFolderPath(szDir);
    }
    WCHAR szTemp[MAX_PATH];
    if (dwResult == ERROR_SUCCESS) {
        // The longest path the file needs must fit.
        dwResult = metrics::JoinFolderPath(szTemp, ARRAYSIZE(szTemp), szDir, kFileName, L".tmp");
    }
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"No metrics file: MetricsDir is no usable folder path. code:%u", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    try {
        m_DayRows.assign(QUOLOG_DAY_ROWS, QuoLogRead());
    } catch (const std::bad_alloc&) {
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    StringCchCopyW(m_szDir, ARRAYSIZE(m_szDir), szDir);
    m_dwIntervalMs = dwIntervalMs;
    m_pReadLog = pReadLog;
    m_bEnabled = true;
    TRACE(0, L"Metrics file: %s\\%s", m_szDir, kFileName);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CMetricsFile::Finalize()
{
    TRACE_ENTER(1);
    if (m_bWritten) {
        WCHAR szFile[MAX_PATH];
        if (metrics::JoinFolderPath(szFile, ARRAYSIZE(szFile), m_szDir, kFileName, L"") == ERROR_SUCCESS
            && !DeleteFileW(szFile)) {
            TRACE(0, L"Error in DeleteFile(%s). code:%u", szFile, GetLastError());
        }
    }
    m_bEnabled = false;
    m_szDir[0] = L'\0';
    m_pReadLog = nullptr;
    m_DayRows.clear();
    m_Snapshot = metrics::Snapshot();
    m_bCounted = false;
    m_bAttempted = false;
    m_bWritten = false;
    m_dwLastResult = ERROR_SUCCESS;
    TRACE_LEAVE_VOID();
}

DWORD CMetricsFile::OnTick(const metrics::Sample* pSample, DWORD dwTickMs)
{
    if (!m_bEnabled) {
        return ERROR_SUCCESS;
    }
    m_Snapshot.bLogging = (pSample != nullptr);
    m_Snapshot.bHasSample = (pSample != nullptr);
    if (pSample != nullptr) {
        CountEnergy(*pSample, dwTickMs);
        m_Snapshot.sample = *pSample;
        m_Snapshot.sample.szPowerPlan[ARRAYSIZE(m_Snapshot.sample.szPowerPlan) - 1] = L'\0';
        m_Snapshot.ullLastSampleUnixMs = metrics::UnixTimeMs();
    }
    if (m_bAttempted && dwTickMs - m_dwLastWriteTick < kWritePeriodMs) {
        return ERROR_SUCCESS;
    }
    m_bAttempted = true;
    m_dwLastWriteTick = dwTickMs;
    return Write();
}

DWORD CMetricsFile::Write()
{
    TRACE_ENTER(1);
    m_Snapshot.bHasToday = ReadToday(&m_Snapshot.today);
    std::string text;
    DWORD dwResult = metrics::Format(m_Snapshot, text);
    if (dwResult == ERROR_SUCCESS) {
        dwResult = metrics::WriteWhole(m_szDir, kFileName, text);
    }
    if (dwResult == ERROR_SUCCESS) {
        m_bWritten = true;
    } else if (dwResult != m_dwLastResult) {
        TRACE(0, L"Error in writing the metrics file in %s. code:%u", m_szDir, dwResult);
    }
    m_dwLastResult = dwResult;
    return TRACE_LEAVE(dwResult);
}

void CMetricsFile::CountEnergy(const metrics::Sample& sample, DWORD dwTickMs)
{
    // A sample stands for the time since the one before; after a longer gap (sleep,
    // logging off, a stalled tick) that time is unknown and it stands for one period.
    ULONGLONG ullSpanMs = m_dwIntervalMs;
    if (m_bCounted && static_cast<ULONGLONG>(dwTickMs - m_dwLastSampleTick) <= 2ULL * m_dwIntervalMs) {
        ullSpanMs = dwTickMs - m_dwLastSampleTick;
    }
    m_bCounted = true;
    m_dwLastSampleTick = dwTickMs;
    if (sample.bWattRead) {
        m_Snapshot.ullEnergyMwMs += (static_cast<ULONGLONG>(sample.dwPCWatt) + sample.dwMonWatt) * ullSpanMs;
    }
}

bool CMetricsFile::ReadToday(metrics::TodayTotals* pToday)
{
    TRACE_FUNCTION();
    SYSTEMTIME stNow;
    GetLocalTime(&stNow);
    QuoLogRead total = {};
    DWORD dwResult = m_pReadLog(QUOLOG_READ_DAY, &stNow, m_DayRows.data(), QUOLOG_DAY_ROWS, &total);
    // 2: nothing totalled today yet (or a line without its plan columns); the total
    // holds what was read.
    if (dwResult != ERROR_SUCCESS && dwResult != ERROR_FILE_NOT_FOUND) {
        TRACE(1, L"Today's totals are not in the metrics file. code:%u", dwResult);
        return false;
    }
    pToday->ullEnergyMWh = total.ullPCEnergy + total.ullMonEnergy;
    pToday->dwRunningSeconds = total.dwS0Time;
    pToday->ullReductionMWh = total.ullReductEnergy;
    return true;
}
