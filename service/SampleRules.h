// The decoding and rounding rules of one sample, as pure functions: the drivers' raw
// readings, the wattage bounds, the battery status, the external displays' look-up
// keys and levels, the power-saving level answers and the reduction power.
#pragma once

#include <windows.h>

namespace samplerules {

// Peak-shift state (CSystemTrace::UpdatePksStatus).
enum : DWORD {
    PKS_NOT_IN_FORCE = 0,
    PKS_IN_FORCE = 1,
    PKS_UNKNOWN = 2,
};

// A power-sensor reading in PMBus LINEAR11 with exponent -1: watts = mantissa x 0.5.
// 13 for any other exponent (*pdWatts untouched).
DWORD DecodeLinear11(DWORD dwRaw, double* pdWatts);

// The embedded-controller coefficient from its registry text. False (coefficient
// kept) for text that is not a number, 0, out of range or infinite.
bool ParseGwatCoefficient(LPCWSTR lpText, double* pdCoefficient);

// Watts to milliwatts rounded to the nearest: 13 below 0.0 W or from 200.0 W on.
DWORD WattsToMilliwatts(double dWatts, LPDWORD lpdwMilliwatts);

// The record's battery status from the system power status and the peak-shift state:
// 2 DC off the line or while peak shift holds, 0 for an unknown line, 3 charging, 1 AC.
DWORD BatteryStatusFrom(BYTE byACLineStatus, BYTE byBatteryFlag, DWORD dwPksStatus);

// Peak-shift state from the battery driver's power state word: bit 1 set = not in force.
DWORD PksStatusFromPowerState(DWORD dwPowerState);

// The registry value under DspInfo that holds an external display's power, or null:
// "Watt_Level00" for a display that is off, "Watt_Level01".."Watt_Level10" for levels 0..9
// of one that is on; none for the no-level values, higher levels or another status.
LPCWSTR ExtDisplayValueName(DWORD dwLevel, DWORD dwDisplayStatus);

// A display level as the record keeps it: (level + 1) x 10, 0 for the no-level values.
DWORD DisplayLevelPercent(DWORD dwLevel);

// The level library's answer as a result: 0xF001, 0xF002 and 0xF003 are failures
// (1608, 30, 50); anything else is the level.
DWORD QuoLevelResult(DWORD dwAnswer, LPDWORD lpdwLevel);

// The power saved while a reduction plan is active, mW: on a consumer PC in the first
// plan dwReductWatt, in the second dwReductWattTwo (a plan without a name never
// counts); 0 on battery or else.
DWORD ReductionWatt(bool bConsumerPC, LPCWSTR lpszPlan, LPCWSTR lpszPlanQuo, LPCWSTR lpszPlanSuperQuo,
                    DWORD dwReductWatt, DWORD dwReductWattTwo, DWORD dwBatteryStatus);

}  // namespace samplerules
