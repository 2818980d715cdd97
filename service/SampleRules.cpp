#include "SampleRules.h"

#include <cerrno>
#include <cmath>
#include <cwchar>

#include "DrvIoctl.h"
#include "QuoLevel.h"
#include "QuoLog.h"

namespace samplerules {

namespace {

const DWORD kLinear11ExponentMask = 0xF800;
const DWORD kLinear11ExponentMinusOne = 0xF800;
const DWORD kLinear11MantissaMask = 0x7FF;
const double kMaxWatts = 200.0;
const DWORD kBatteryFlagCharging = 0x08;
const BYTE kACLineOffline = 0;
const BYTE kACLineUnknown = 255;

const LPCWSTR kWattLevelNames[] = {
    L"Watt_Level00", L"Watt_Level01", L"Watt_Level02", L"Watt_Level03", L"Watt_Level04", L"Watt_Level05",
    L"Watt_Level06", L"Watt_Level07", L"Watt_Level08", L"Watt_Level09", L"Watt_Level10",
};

bool IsNoLevel(DWORD dwLevel)
{
    return dwLevel == QUOMONITOR_LEVEL_NONE_1 || dwLevel == QUOMONITOR_LEVEL_NONE_2;
}

}  // namespace

DWORD DecodeLinear11(DWORD dwRaw, double* pdWatts)
{
    if ((dwRaw & kLinear11ExponentMask) != kLinear11ExponentMinusOne) {
        return ERROR_INVALID_DATA;
    }
    *pdWatts = static_cast<double>(dwRaw & kLinear11MantissaMask) * 0.5;
    return ERROR_SUCCESS;
}

bool ParseGwatCoefficient(LPCWSTR lpText, double* pdCoefficient)
{
    errno = 0;
    double dValue = wcstod(lpText, nullptr);
    if (errno == ERANGE || dValue == HUGE_VAL || dValue == -HUGE_VAL || dValue == 0.0 || std::isnan(dValue)) {
        return false;
    }
    *pdCoefficient = dValue;
    return true;
}

DWORD WattsToMilliwatts(double dWatts, LPDWORD lpdwMilliwatts)
{
    if (!(dWatts >= 0.0) || dWatts >= kMaxWatts) {
        return ERROR_INVALID_DATA;
    }
    *lpdwMilliwatts = static_cast<DWORD>(std::floor((dWatts + 0.0005) * 1000.0));
    return ERROR_SUCCESS;
}

DWORD BatteryStatusFrom(BYTE byACLineStatus, BYTE byBatteryFlag, DWORD dwPksStatus)
{
    if (byACLineStatus == kACLineOffline) {
        return QUOLOG_BATTERY_DC;
    }
    if (byACLineStatus == kACLineUnknown) {
        return QUOLOG_BATTERY_UNKNOWN;
    }
    if (dwPksStatus == PKS_IN_FORCE) {
        return QUOLOG_BATTERY_DC;
    }
    return (byBatteryFlag & kBatteryFlagCharging) ? QUOLOG_BATTERY_CHARGING : QUOLOG_BATTERY_AC;
}

DWORD PksStatusFromPowerState(DWORD dwPowerState)
{
    return (dwPowerState & ASL_PSTS_PEAKSHIFT_OFF) ? PKS_NOT_IN_FORCE : PKS_IN_FORCE;
}

LPCWSTR ExtDisplayValueName(DWORD dwLevel, DWORD dwDisplayStatus)
{
    if (IsNoLevel(dwLevel)) {
        return nullptr;
    }
    if (dwDisplayStatus == QUOLOG_STATE_OFF) {
        return kWattLevelNames[0];
    }
    if (dwDisplayStatus == QUOLOG_STATE_ON && dwLevel < ARRAYSIZE(kWattLevelNames) - 1) {
        return kWattLevelNames[dwLevel + 1];
    }
    return nullptr;
}

DWORD DisplayLevelPercent(DWORD dwLevel)
{
    return IsNoLevel(dwLevel) ? 0 : (dwLevel + 1) * 10;
}

DWORD QuoLevelResult(DWORD dwAnswer, LPDWORD lpdwLevel)
{
    switch (dwAnswer) {
    case QUOLEVEL_ERROR_UNKNOWN_LEVEL:
        return ERROR_UNKNOWN_PROPERTY;
    case QUOLEVEL_ERROR_READ_FAULT:
        return ERROR_READ_FAULT;
    case QUOLEVEL_ERROR_NOT_SUPPORTED:
        return ERROR_NOT_SUPPORTED;
    default:
        *lpdwLevel = dwAnswer;
        return ERROR_SUCCESS;
    }
}

DWORD ReductionWatt(bool bConsumerPC, LPCWSTR lpszPlan, LPCWSTR lpszPlanQuo, LPCWSTR lpszPlanSuperQuo,
                    DWORD dwReductWatt, DWORD dwReductWattTwo, DWORD dwBatteryStatus)
{
    DWORD dwWatt = 0;
    // An unnamed plan is never a reduction plan, also when no plan name is configured.
    if (bConsumerPC && lpszPlanQuo[0] != L'\0' && lstrcmpW(lpszPlan, lpszPlanQuo) == 0) {
        dwWatt = dwReductWatt;
    } else if (lpszPlanSuperQuo[0] != L'\0' && bConsumerPC && lstrcmpW(lpszPlan, lpszPlanSuperQuo) == 0) {
        dwWatt = dwReductWattTwo;
    }
    return (dwBatteryStatus == QUOLOG_BATTERY_DC) ? 0 : dwWatt;
}

}  // namespace samplerules
