// One smoke test per simulated machine that tools/sim-hw sets up, seen as the service
// sees it: its wattage device answers within its range, the other machine's is absent,
// and the notebook's power supply reports. The service's integration tests read the
// batteries and the power-profile stand-in's scheme; the product's own tests exercise
// the simulator's values and failure switches.
#include <windows.h>

#include <gtest/gtest.h>

#include "DrvIoctl.h"
#include "ScopedHandle.h"

namespace {

CScopedFileHandle OpenDevice(const wchar_t* lpPath)
{
    return CScopedFileHandle(CreateFileW(lpPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
}

// The wattage device at lpPath says it supports the function and reads; the one at
// lpAbsent does not exist. The reading, for the machine's own check.
DWORD ExpectWattageDevice(const wchar_t* lpPath, const wchar_t* lpAbsent)
{
    EXPECT_FALSE(OpenDevice(lpAbsent).IsValid()) << "the other machine's device";
    CScopedFileHandle device = OpenDevice(lpPath);
    EXPECT_TRUE(device.IsValid()) << "open error " << GetLastError();
    DWORD dwAnswers[2] = {}, cbReturned = 0;
    const DWORD codes[2] = {IOCTL_PMCP, IOCTL_GWAT};
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(DeviceIoControl(device.Get(), codes[i], nullptr, 0, &dwAnswers[i], sizeof(DWORD), &cbReturned,
                                    nullptr)) << "request " << i << ", error " << GetLastError();
    }
    EXPECT_EQ(static_cast<DWORD>(PMCP_GWAT_SUPPORTED), dwAnswers[0]);
    return dwAnswers[1];
}

TEST(Desktop, PowerSensorAnswers)
{
    DWORD dwRaw = ExpectWattageDevice(L"\\\\.\\ZAVPSRD", L"\\\\.\\ZAVECFILTER");
    EXPECT_EQ(0xF800u, dwRaw & 0xFFFFF800) << "a linear word with exponent -1: " << std::hex << dwRaw;
    EXPECT_GE((dwRaw & 0x7FF) / 2, 20u);
    EXPECT_LE((dwRaw & 0x7FF) / 2, 60u);
}

// Set up with the fake power supply on line and full.
TEST(Notebook, EmbeddedControllerAndPowerSupplyAnswer)
{
    DWORD dwWatts = ExpectWattageDevice(L"\\\\.\\ZAVECFILTER", L"\\\\.\\ZAVPSRD");
    EXPECT_GE(dwWatts, 8u);
    EXPECT_LE(dwWatts, 25u);
    SYSTEM_POWER_STATUS power = {};
    ASSERT_TRUE(GetSystemPowerStatus(&power));
    EXPECT_EQ(1, power.ACLineStatus);
    EXPECT_EQ(100, power.BatteryLifePercent);
}

}  // namespace
