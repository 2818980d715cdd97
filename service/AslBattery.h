// The batteries with the maker's battery driver on top: whether the driver serves a
// battery, and the driver's power state word with the peak-shift bit.
#pragma once

#include <windows.h>

#include "Battery.h"

class CAslBattery : public CBattery {
public:
    CAslBattery();
    ~CAslBattery() override;

    // TRUE when a present battery device is served by the service "zavbatt".
    BOOL IsValidDriver();

    // The driver's power state word of battery dwIndex. S_OK, E_POINTER, or E_FAIL
    // when the device cannot be opened or does not answer.
    HRESULT AslMethodPSTS(DWORD dwIndex, LPDWORD lpdwPwrState);

private:
    CRITICAL_SECTION m_csDriver;
};
