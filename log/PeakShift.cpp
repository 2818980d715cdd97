// The peak-shift tool's charge prevention as the totalization sees it: the library's
// copy of the tool's settings (made when the PC went to sleep or off) gives a daily
// window within a range of dates during which the battery is not charged; that window
// is left out when the charge gain of a sleep or power-off is spread over its slots.
#include "TotalizeLog.h"

#include <strsafe.h>

#include "QuoLogCore.h"
#include "Reg.h"
#include "Trace.h"

namespace {

const WCHAR kEnablePks[] = L"EnablePksOrProhibitionTime";
const WCHAR kBpmc[] = L"BPMC";
const DWORD kBpmcChargePrevention = 0x2;
const WCHAR kS3S4S5ChargePrevention[] = L"EnableS3S4S5ChargePrevention";
const WCHAR kUseRandomPeakShift[] = L"UseRandomPeakShift";
const WCHAR kUseEFPeakShift[] = L"UseEFPeakShift";
const WCHAR kUseNonChargeSpan[] = L"UseNonChargeSpan";
const WCHAR kUsePeakShift[] = L"UsePeakShift";
const WCHAR kStartTime[] = L"StartTime";
const WCHAR kEndTime[] = L"EndTime";
const WCHAR kNonChargeStartTime[] = L"NonChargeStartTime";
const WCHAR kNonChargeEndTime[] = L"NonChargeEndTime";
const WCHAR kStartDate[] = L"StartDate";
const WCHAR kEndDate[] = L"EndDate";
const size_t kParsedChars = 10;

// Splits the first 10 characters of lpText at chSeparator into at most three numbers
// read as a wide ato-integer conversion reads them; empty pieces are skipped. The
// number of pieces found.
size_t SplitNumbers(LPCWSTR lpText, WCHAR chSeparator, LONG values[3], LPWSTR lpHead, size_t cchHead)
{
    StringCchCopyNW(lpHead, cchHead, lpText, kParsedChars);
    WCHAR szWork[kParsedChars + 1];
    StringCchCopyW(szWork, ARRAYSIZE(szWork), lpHead);
    size_t nFound = 0;
    // Each piece is cut off at its separator (in place) before it is read.
    for (LPWSTR lpPiece = szWork; *lpPiece != L'\0' && nFound < 3;) {
        LPWSTR lpSeparator = wcschr(lpPiece, chSeparator);
        if (lpSeparator != nullptr) {
            *lpSeparator = L'\0';
        }
        if (*lpPiece != L'\0') {
            values[nFound++] = _wtol(lpPiece);
        }
        if (lpSeparator == nullptr) {
            break;
        }
        lpPiece = lpSeparator + 1;
    }
    return nFound;
}

}  // namespace

DWORD CTotalizeLog::ConvertPksTime(LPCWSTR lpText, SYSTEMTIME* lpTime)
{
    TRACE_ENTER(2);
    if (lpText == nullptr) {
        return TRACE_NULL_ARGUMENT(lpText);
    }
    if (lpTime == nullptr) {
        return TRACE_NULL_ARGUMENT(lpTime);
    }
    WCHAR szHead[kParsedChars + 1];
    LONG values[3] = {0, 0, 0};
    size_t nFound = SplitNumbers(lpText, L':', values, szHead, ARRAYSIZE(szHead));
    TRACE(2, L"QUOLOG: ConvertTime:Start:(%s)", szHead);
    if (nFound < 2) {
        return TRACE_LEAVE(ERROR_FUNCTION_FAILED);
    }
    TRACE(2, L"QUOLOG: ConvertTime:End:(%02u:%02u:%02u)", values[0], values[1], values[2]);
    if (values[0] < 0 || values[0] >= 24 || values[1] < 0 || values[1] >= 60 || values[2] < 0 || values[2] >= 60) {
        return TRACE_LEAVE(ERROR_INVALID_TIME);
    }
    SYSTEMTIME st = {};
    st.wHour = static_cast<WORD>(values[0]);
    st.wMinute = static_cast<WORD>(values[1]);
    st.wSecond = static_cast<WORD>(values[2]);
    *lpTime = st;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CTotalizeLog::ConvertPksDate(LPCWSTR lpText, SYSTEMTIME* lpTime)
{
    TRACE_ENTER(2);
    if (lpText == nullptr) {
        return TRACE_NULL_ARGUMENT(lpText);
    }
    if (lpTime == nullptr) {
        return TRACE_NULL_ARGUMENT(lpTime);
    }
    WCHAR szHead[kParsedChars + 1];
    LONG values[3] = {0, 0, 0};
    size_t nFound = SplitNumbers(lpText, L'/', values, szHead, ARRAYSIZE(szHead));
    TRACE(2, L"QUOLOG: ConvertDate:Start:(%s)", szHead);
    if (nFound < 3) {
        return TRACE_LEAVE(ERROR_FUNCTION_FAILED);
    }
    TRACE(2, L"QUOLOG: ConvertDate:End:(%04u/%02u/%02u)", values[0], values[1], values[2]);
    if (values[0] < 2011 || values[0] > 2099 || values[1] < 1 || values[1] > 12 || values[2] < 1 || values[2] > 31) {
        return TRACE_LEAVE(ERROR_INVALID_DATA);
    }
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(values[0]);
    st.wMonth = static_cast<WORD>(values[1]);
    st.wDay = static_cast<WORD>(values[2]);
    *lpTime = st;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

namespace {

// The switches that must all be on for charge prevention in sleep and power-off: a
// value, and the bits of it that say "on".
struct PksSwitch {
    LPCWSTR lpName;
    DWORD dwOnBits;
    LPCWSTR lpTraceName;
};

const PksSwitch kPksSwitches[] = {
    {kEnablePks, MAXDWORD, L"REG_KEY_PKS_OR_PROHIBITION_TIME"},
    {kBpmc, kBpmcChargePrevention, L"REG_KEY_BPMC"},
    {kS3S4S5ChargePrevention, MAXDWORD, L"REG_KEY_S3S4S5_CHARGEPREVENTION_ENABLE"},
};

typedef DWORD (*PksTextConversion)(LPCWSTR lpText, SYSTEMTIME* lpTime);

// A time or date text of the tool read from key and converted; 13 when it cannot be
// read.
DWORD ReadPksText(CReg& key, LPCWSTR lpName, LPCWSTR lpTraceName, PksTextConversion convert, SYSTEMTIME* lpTime)
{
    TRACE_FUNCTION();
    WCHAR szText[CTotalizeLog::kPksTextChars];
    DWORD cchText = ARRAYSIZE(szText);
    DWORD dwResult = key.QueryStringValue(lpName, szText, &cchText);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"QUOLOG:PKS_REG: QueryStringValue(%s) code:%lu", lpTraceName, dwResult);
        return ERROR_INVALID_DATA;
    }
    return convert(szText, lpTime);
}

DWORD ReadPksTime(CReg& key, LPCWSTR lpName, LPCWSTR lpTraceName, SYSTEMTIME* lpTime)
{
    return ReadPksText(key, lpName, lpTraceName, CTotalizeLog::ConvertPksTime, lpTime);
}

// Whether every switch is on. When one is not, *lpdwResult is the query's error, or 0
// for a switch that is off.
bool PksSwitchedOn(CReg& setting, LPDWORD lpdwResult)
{
    TRACE_FUNCTION();
    for (const PksSwitch& entry : kPksSwitches) {
        DWORD dwValue = 0;
        *lpdwResult = setting.QueryDWORDValue(entry.lpName, &dwValue);
        if (*lpdwResult != ERROR_SUCCESS || (dwValue & entry.dwOnBits) == 0) {
            TRACE(0, L"QUOLOG:PKS_REG: QueryDWORDValue(%s) val:%lu code:%lu", entry.lpTraceName, dwValue, *lpdwResult);
            return false;
        }
    }
    return true;
}

// The sub-key of the copy that holds the window: the random or the forecast pattern when
// the tool uses one (*pbPattern true), else the settings themselves.
LPCWSTR PksWindowSubKey(CReg& setting, bool* pbPattern)
{
    TRACE_FUNCTION();
    DWORD dwRandom = 0;
    DWORD dwEF = 0;
    DWORD dwResult = setting.QueryDWORDValue(kUseRandomPeakShift, &dwRandom);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"QUOLOG:PKS_REG: QueryDWORDValue(REG_KEY_USE_RANDOM_PEAKSHIFT) is failed. code:%lu", dwResult);
        dwRandom = 0;
    }
    dwResult = setting.QueryDWORDValue(kUseEFPeakShift, &dwEF);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"QUOLOG:PKS_REG: QueryDWORDValue(REG_KEY_USE_EF_PEAKSHIFT) is failed. code:%lu", dwResult);
        dwEF = 0;
    }
    TRACE(1, L"QUOLOG:PKS_REG: %s:%lu", kUseRandomPeakShift, dwRandom);
    TRACE(1, L"QUOLOG:PKS_REG: %s:%lu", kUseEFPeakShift, dwEF);
    *pbPattern = (dwRandom != 0 || dwEF != 0);
    return (dwRandom != 0) ? REGKEY_SUB_PKS_RANDOM : (dwEF != 0) ? REGKEY_SUB_PKS_FORECAST : REGKEY_SUB_PKS_SETTING;
}

// A window read from a pair of times of the pattern; names holds the start's value
// name and trace name, then the end's.
DWORD ReadPksTimePair(CReg& pattern, const LPCWSTR names[4], SYSTEMTIME* lpStart, SYSTEMTIME* lpEnd)
{
    DWORD dwResult = ReadPksTime(pattern, names[0], names[1], lpStart);
    if (dwResult == ERROR_SUCCESS) {
        dwResult = ReadPksTime(pattern, names[2], names[3], lpEnd);
    }
    return dwResult;
}

const LPCWSTR kPeakShiftTimes[4] = {kStartTime, L"REG_KEY_START_TIME", kEndTime, L"REG_KEY_END_TIME"};
const LPCWSTR kNonChargeTimes[4] = {kNonChargeStartTime, L"REG_KEY_NONCHARGE_START_TIME", kNonChargeEndTime,
                                    L"REG_KEY_NONCHARGE_END_TIME"};

// The daily window: the non-charge span when the tool uses one (widened to the
// pattern's peak-shift window when that is in use as well), else the peak-shift window.
// Whether there is one; when not, *lpdwResult is the error, or 0 when peak shift is off.
bool ReadPksWindow(CReg& setting, CReg& pattern, bool bPattern, SYSTEMTIME* lpStart, SYSTEMTIME* lpEnd,
                   LPDWORD lpdwResult)
{
    TRACE_FUNCTION();
    DWORD dwNonCharge = 0;
    if (setting.QueryDWORDValue(kUseNonChargeSpan, &dwNonCharge) != ERROR_SUCCESS) {
        dwNonCharge = 0;
    }
    DWORD dwUsePeakShift = 0;
    DWORD dwUseResult = setting.QueryDWORDValue(kUsePeakShift, &dwUsePeakShift);
    const bool bPeakShift = (dwUseResult == ERROR_SUCCESS && dwUsePeakShift != 0);
    if (dwNonCharge == 0) {
        if (!bPeakShift) {
            TRACE(0, L"QUOLOG:PKS_REG: QueryDWORDValue(REG_KEY_USE_PEAKSHIFT) val:%u code:%lu", dwUsePeakShift,
                  dwUseResult);
            *lpdwResult = dwUseResult;
            return false;
        }
        *lpdwResult = ReadPksTimePair(pattern, kPeakShiftTimes, lpStart, lpEnd);
        return *lpdwResult == ERROR_SUCCESS;
    }
    *lpdwResult = ReadPksTimePair(pattern, kNonChargeTimes, lpStart, lpEnd);
    if (*lpdwResult == ERROR_SUCCESS && bPattern && bPeakShift) {
        // The peak-shift window of the pattern as well: the union of both.
        SYSTEMTIME stPksStart = {};
        SYSTEMTIME stPksEnd = {};
        *lpdwResult = ReadPksTimePair(pattern, kPeakShiftTimes, &stPksStart, &stPksEnd);
        if (*lpdwResult == ERROR_SUCCESS
            && CTotalizeLog::CompareSystime(stPksStart, *lpStart, CTotalizeLog::kCompareTimeOfDay)
                   == CTotalizeLog::kEarlier) {
            *lpStart = stPksStart;
        }
        if (*lpdwResult == ERROR_SUCCESS
            && CTotalizeLog::CompareSystime(stPksEnd, *lpEnd, CTotalizeLog::kCompareTimeOfDay)
                   == CTotalizeLog::kLater) {
            *lpEnd = stPksEnd;
        }
    }
    return *lpdwResult == ERROR_SUCCESS;
}

}  // namespace

DWORD CTotalizeLog::GetPksBattChrgPrvntInfo()
{
    TRACE_ENTER(1);
    m_bPksEnable = FALSE;
    m_stPksStartDate = SYSTEMTIME();
    m_stPksEndDate = SYSTEMTIME();
    m_stPksStartTime = SYSTEMTIME();
    m_stPksEndTime = SYSTEMTIME();
    const QuoLogEnvironment& env = m_Owner.GetEnvironment();
    WCHAR szSetting[MAX_PATH];
    StringCchPrintfW(szSetting, ARRAYSIZE(szSetting), L"%s\\%s\\%s", env.lpRegKeyPath, REGKEY_SUB_TANDORA_COPY,
                     REGKEY_SUB_PKS_SETTING);
    CReg setting;
    DWORD dwResult = setting.OpenKey(szSetting, KEY_READ);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"QUOLOG:PKS_REG: cReg.OpenKey() : failed(%s). code:%u", szSetting, dwResult);
        return TRACE_LEAVE(dwResult);
    }
    if (!PksSwitchedOn(setting, &dwResult)) {
        return TRACE_LEAVE(dwResult);
    }

    bool bPattern = false;
    LPCWSTR lpWindowSubKey = PksWindowSubKey(setting, &bPattern);
    WCHAR szPattern[MAX_PATH];
    StringCchPrintfW(szPattern, ARRAYSIZE(szPattern), L"%s\\%s\\%s", env.lpRegKeyPath, REGKEY_SUB_TANDORA_COPY,
                     lpWindowSubKey);
    CReg pattern;
    dwResult = pattern.OpenKey(szPattern, KEY_READ);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"QUOLOG:PKS_REG: cRetPksTime.OpenKey() : failed(%s). code:%u", szPattern, dwResult);
        return TRACE_LEAVE(dwResult);
    }
    SYSTEMTIME stStart = {};
    SYSTEMTIME stEnd = {};
    if (!ReadPksWindow(setting, pattern, bPattern, &stStart, &stEnd, &dwResult)) {
        return TRACE_LEAVE(dwResult);
    }
    TRACE(1, L"QUOLOG:PKS_REG: START TIME: %02u:%02u:%02u", stStart.wHour, stStart.wMinute, stStart.wSecond);
    TRACE(1, L"QUOLOG:PKS_REG: END TIME: %02u:%02u:%02u", stEnd.wHour, stEnd.wMinute, stEnd.wSecond);
    if (CompareSystime(stStart, stEnd, kCompareTimeOfDay) == kLater) {
        TRACE(0, L"QUOLOG:PKS_REG: the window ends before it starts.");
        return TRACE_LEAVE(ERROR_INVALID_TIME);
    }

    SYSTEMTIME stStartDate = {};
    SYSTEMTIME stEndDate = {};
    dwResult = ReadPksText(setting, kStartDate, L"REG_KEY_START_DATE", ConvertPksDate, &stStartDate);
    if (dwResult == ERROR_SUCCESS) {
        dwResult = ReadPksText(setting, kEndDate, L"REG_KEY_END_DATE", ConvertPksDate, &stEndDate);
    }
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    TRACE(1, L"QUOLOG:PKS_REG: START DATE: %04u/%02u/%02u", stStartDate.wYear, stStartDate.wMonth, stStartDate.wDay);
    TRACE(1, L"QUOLOG:PKS_REG: END DATE: %04u/%02u/%02u", stEndDate.wYear, stEndDate.wMonth, stEndDate.wDay);
    if (CompareSystime(stStartDate, stEndDate, kCompareDate) == kLater) {
        TRACE(0, L"QUOLOG:PKS_REG: the date range ends before it starts.");
        return TRACE_LEAVE(ERROR_INVALID_TIME);
    }
    m_stPksStartTime = stStart;
    m_stPksEndTime = stEnd;
    m_stPksStartDate = stStartDate;
    m_stPksEndDate = stEndDate;
    m_bPksEnable = TRUE;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CTotalizeLog::CalcSecCount(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    TRACE_FUNCTION();
    SYSTEMTIME stA = {1601, 1, 0, 1, a.wHour, a.wMinute, a.wSecond, 0};
    SYSTEMTIME stB = {1601, 1, 0, 1, b.wHour, b.wMinute, b.wSecond, 0};
    DWORD dwSeconds = CalculateTime(stA, stB);
    TRACE(2, L"QUOLOG:CALC_SECCOUNT:%02u:%02u:%02u=>%04u:%02u:%02u ret=%lu", a.wHour, a.wMinute, a.wSecond, b.wHour,
          b.wMinute, b.wSecond, dwSeconds);
    return dwSeconds;
}

DWORD CTotalizeLog::CalculateBattChrgPrvntTime(const SYSTEMTIME& S, const SYSTEMTIME& E, DWORD D) const
{
    TRACE_FUNCTION();
    const SYSTEMTIME& PSD = m_stPksStartDate;
    const SYSTEMTIME& PED = m_stPksEndDate;
    const SYSTEMTIME& PST = m_stPksStartTime;
    const SYSTEMTIME& PET = m_stPksEndTime;
    TRACE(2, L"QUOLOG:CALC_TIME: m_stPksStartDate/m_stPksStartTime(%04lu/%02lu/%02lu,%02lu:%02lu:%02lu)", PSD.wYear,
          PSD.wMonth, PSD.wDay, PST.wHour, PST.wMinute, PST.wSecond);
    TRACE(2, L"QUOLOG:CALC_TIME: m_stPksEndDate/m_stPksEndTime    (%04lu/%02lu/%02lu,%02lu:%02lu:%02lu)", PED.wYear,
          PED.wMonth, PED.wDay, PET.wHour, PET.wMinute, PET.wSecond);
    auto date = [](const SYSTEMTIME& a, const SYSTEMTIME& b) { return CompareSystime(a, b, kCompareDate); };
    auto time = [](const SYSTEMTIME& a, const SYSTEMTIME& b) { return CompareSystime(a, b, kCompareTimeOfDay); };
    const bool bOutsideRange = date(S, PSD) == kEarlier || date(S, PED) == kLater;
    DWORD R = 0;
    switch (date(S, E)) {
    case kEarlier:
        // Only the window of S's day is counted; the later days are the caller's.
        if (bOutsideRange) {
            TRACE(2, L"QUOLOG:CALC_TIME: No calculation. <11>");
        } else if (time(S, PST) != kLater) {
            R = CalcSecCount(PST, PET);
            TRACE(2, L"QUOLOG:CALC_TIME: dwReductionTime=%lu <8>", R);
        } else if (time(S, PET) != kEarlier) {
            TRACE(2, L"QUOLOG:CALC_TIME: No calculation. <10>");
        } else {
            R = CalcSecCount(S, PET);
            TRACE(2, L"QUOLOG:CALC_TIME: dwReductionTime=%lu <9>", R);
        }
        break;
    case kLater:
        TRACE(2, L"QUOLOG:CALC_TIME: Input error. <21>");
        break;
    default:
        if (bOutsideRange) {
            TRACE(2, L"QUOLOG:CALC_TIME: No calculation.<1>");
        } else if (time(PET, S) != kLater || time(E, PST) != kLater) {
            TRACE(2, L"QUOLOG:CALC_TIME: No calculation.<2><3>");
        } else if (time(S, PST) == kEarlier && time(PET, E) == kEarlier) {
            R = CalcSecCount(PST, PET);
            TRACE(2, L"QUOLOG:CALC_TIME: dwReductionTime=%lu <4>", R);
        } else if (time(S, PST) == kEarlier) {
            R = CalcSecCount(PST, E);
            TRACE(2, L"QUOLOG:CALC_TIME: dwReductionTime=%lu <5>", R);
        } else if (time(PET, E) == kEarlier) {
            R = CalcSecCount(S, PET);
            TRACE(2, L"QUOLOG:CALC_TIME: dwReductionTime=%lu <6>", R);
        } else {
            R = D;
            TRACE(2, L"QUOLOG:CALC_TIME: dwReductionTime=%lu <7>", R);
        }
        break;
    }
    DWORD dwResult = (R > D) ? 0 : D - R;
    TRACE(2, L"QUOLOG:CALC_TIME: dwCalcTargetTime = %lu, dwReductionTime = %lu", D, R);
    TRACE(2, L"QUOLOG:CALC_TIME: Result: %lu[sec].", dwResult);
    return dwResult;
}
