// One smoke test per simulated machine that tools/sim-hw sets up, seen as the service
// sees it: its wattage device answers, the other machine's is absent, its batteries and
// power supply report, and the power-profile stand-in names the active scheme. The
// product's own tests exercise the simulator's values and failure switches.
#include <windows.h>
#include <setupapi.h>
#include <batclass.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DrvIoctl.h"
#include "ScopedHandle.h"

namespace {

const GUID kBatteryClass = {0x72631e54, 0x78a4, 0x11d0, {0xbc, 0xf7, 0x00, 0xaa, 0x00, 0xb7, 0xb3, 0x2a}};

CScopedFileHandle OpenDevice(const wchar_t* lpPath)
{
    return CScopedFileHandle(CreateFileW(lpPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
}

// One control request: 0 with the answer, or the system error.
template <typename Out, typename In = DWORD>
DWORD Ask(HANDLE hDevice, DWORD dwCode, Out* pAnswer, const In* pIn = nullptr)
{
    DWORD cbReturned = 0;
    return DeviceIoControl(hDevice, dwCode, const_cast<In*>(pIn), pIn ? sizeof(In) : 0, pAnswer, sizeof(Out),
                           &cbReturned, nullptr) ? 0 : GetLastError();
}

// The wattage device at lpPath says it supports the function and reads within the
// range; the one at lpAbsent does not exist. The reading, for the machine's own check.
DWORD ExpectWattageDevice(const wchar_t* lpPath, const wchar_t* lpAbsent)
{
    EXPECT_FALSE(OpenDevice(lpAbsent).IsValid()) << "the other machine's device";
    CScopedFileHandle device = OpenDevice(lpPath);
    EXPECT_TRUE(device.IsValid()) << "open error " << GetLastError();
    DWORD dwSupport = 0, dwReading = 0;
    EXPECT_EQ(0u, Ask(device.Get(), IOCTL_PMCP, &dwSupport));
    EXPECT_EQ(static_cast<DWORD>(PMCP_GWAT_SUPPORTED), dwSupport);
    EXPECT_EQ(0u, Ask(device.Get(), IOCTL_GWAT, &dwReading));
    return dwReading;
}

// The power-profile stand-in, loaded by name as the service loads it, names the
// active scheme.
void ExpectActiveSchemeName(const std::wstring& expected)
{
    HMODULE hModule = LoadLibraryW(L"PowrProf.dll");
    ASSERT_NE(nullptr, hModule);
    auto getActive = reinterpret_cast<DWORD(WINAPI*)(HKEY, GUID**)>(
        reinterpret_cast<void*>(GetProcAddress(hModule, "PowerGetActiveScheme")));
    auto readName = reinterpret_cast<DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, PUCHAR, LPDWORD)>(
        reinterpret_cast<void*>(GetProcAddress(hModule, "PowerReadFriendlyName")));
    GUID* pActive = nullptr;
    ASSERT_TRUE(getActive != nullptr && readName != nullptr);
    ASSERT_EQ(0u, getActive(nullptr, &pActive));
    CScopedLocalMem active(pActive);
    wchar_t szName[64] = L"";
    DWORD cbName = sizeof(szName);
    EXPECT_EQ(0u, readName(nullptr, pActive, nullptr, nullptr, reinterpret_cast<PUCHAR>(szName), &cbName));
    EXPECT_EQ(expected, szName);
    FreeLibrary(hModule);
}

TEST(Desktop, PowerSensorAndPowerSchemesAnswer)
{
    DWORD dwRaw = ExpectWattageDevice(L"\\\\.\\ZAVPSRD", L"\\\\.\\ZAVECFILTER");
    EXPECT_EQ(0xF800u, dwRaw & 0xFFFFF800) << "a linear word with exponent -1: " << std::hex << dwRaw;
    EXPECT_GE((dwRaw & 0x7FF) / 2, 20u);
    EXPECT_LE((dwRaw & 0x7FF) / 2, 60u);
    ExpectActiveSchemeName(L"バランス");
}

// Set up with two batteries and the fake power supply (on line, full).
TEST(Notebook, EmbeddedControllerBatteriesAndPowerSupplyAnswer)
{
    DWORD dwWatts = ExpectWattageDevice(L"\\\\.\\ZAVECFILTER", L"\\\\.\\ZAVPSRD");
    EXPECT_GE(dwWatts, 8u);
    EXPECT_LE(dwWatts, 25u);
    ExpectActiveSchemeName(L"バランス");

    // The batteries, found as the service finds them.
    HDEVINFO hSet = SetupDiGetClassDevsW(&kBatteryClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(INVALID_HANDLE_VALUE, hSet);
    SP_DEVICE_INTERFACE_DATA iface = {};
    iface.cbSize = sizeof(iface);
    DWORD dwCount = 0;
    for (; SetupDiEnumDeviceInterfaces(hSet, nullptr, &kBatteryClass, dwCount, &iface); ++dwCount) {
        BYTE detail[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) + MAX_PATH * sizeof(WCHAR)] = {};
        auto* pDetail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detail);
        pDetail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(hSet, &iface, pDetail, sizeof(detail), nullptr, nullptr));
        CScopedFileHandle battery = OpenDevice(pDetail->DevicePath);
        ASSERT_TRUE(battery.IsValid()) << "open error " << GetLastError();
        DWORD dwWait = 1000, dwTag = 0;
        ASSERT_EQ(0u, Ask(battery.Get(), IOCTL_BATTERY_QUERY_TAG, &dwTag, &dwWait));
        BATTERY_WAIT_STATUS wait = {dwTag, 0, 0, 0, 0};
        BATTERY_STATUS status = {};
        EXPECT_EQ(0u, Ask(battery.Get(), IOCTL_BATTERY_QUERY_STATUS, &status, &wait));
        EXPECT_NE(0u, status.Capacity);
    }
    SetupDiDestroyDeviceInfoList(hSet);
    EXPECT_EQ(2u, dwCount);

    SYSTEM_POWER_STATUS power = {};
    ASSERT_TRUE(GetSystemPowerStatus(&power));
    EXPECT_EQ(1, power.ACLineStatus);
    EXPECT_EQ(100, power.BatteryLifePercent);
}

}  // namespace
