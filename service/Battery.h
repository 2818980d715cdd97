// The PC's batteries: found through the battery device-interface class (at most two),
// queried with the battery class's standard requests, and the system power status with
// a retry. The viewer compiles the same class to tell a PC with a battery from one
// without.
#pragma once

#include <windows.h>

#include <poclass.h>

// Flags of CBattery::GetSelectBatteryInfo.
enum : DWORD {
    BATTINFO_DEVICENAME = 0x1,
    BATTINFO_INFORMATION = 0x2,
    BATTINFO_STATUS = 0x4,
};

struct BatteryInfo {
    WCHAR szDeviceName[MAX_PATH];
    BATTERY_INFORMATION BatteryInformation;
    BATTERY_STATUS BatteryStatus;
};

class CBattery {
public:
    static const DWORD kMaxBatteries = 2;
    static const DWORD kTagWaitMs = 1000;
    static const DWORD kPowerStatusRetrySleepMs = 500;

    CBattery();
    virtual ~CBattery();

    CBattery(const CBattery&) = delete;
    CBattery& operator=(const CBattery&) = delete;

    // Enumerates the batteries once; always 0.
    DWORD Initialize();
    void Finalize();

    // Fills the device paths and the count of battery interfaces (indexes 0 and 1).
    void EnumBatteries();

    DWORD GetAttachableBatteryCount(LPDWORD lpdwCount);
    // TRUE when at least one battery interface exists.
    DWORD HaveBatteries(LPBOOL lpbFlag);

    // Opens battery dwIndex and fills the parts of *pBatteryInfo that dwFlags name
    // (BATTINFO_*); the record is zeroed first. 259 past the last battery; the tag
    // query's error for an empty slot.
    DWORD GetSelectBatteryInfo(DWORD dwIndex, BatteryInfo* pBatteryInfo, DWORD dwFlags);
    // 0 when a battery sits in slot dwIndex.
    DWORD QueryAttachedBattery(DWORD dwIndex);
    DWORD GetAttachedBatteryCount(LPDWORD lpdwCount);
    // Present capacity in mWh; the unknown value 0xFFFFFFFF passes through.
    DWORD GetCurrentCapacity(DWORD dwIndex, LPDWORD lpdwCurrentCapacity);

    // The system power status, asked again (after 500 ms) up to dwRetry times while
    // the answer is unusable. The result is the last failed call's error, else 0.
    DWORD GetSystemPowerStatus(LPSYSTEM_POWER_STATUS pStatus, DWORD dwRetry);

protected:
    LPCWSTR DevicePath(DWORD dwIndex) const { return m_szDevicePath[dwIndex]; }

private:
    DWORD m_dwBatteryCount;
    BOOL m_bInitialized;
    WCHAR m_szDevicePath[kMaxBatteries][MAX_PATH];
};

// The battery device-interface class.
extern const GUID kBatteryInterfaceClassGuid;
