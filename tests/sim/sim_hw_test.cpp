// The simulated machine as the service sees it, after tools/sim-hw set it up: the
// wattage devices, the batteries, the fake power supply and the power-profile stand-in.
// tests/sim/sim_hw_test.sh prepares each machine in a prefix of its own and runs the
// suites that fit it (--gtest_filter).
#include <windows.h>
#include <setupapi.h>
#include <batclass.h>
#include <powrprof.h>
#include <shlobj.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DrvIoctl.h"
#include "ScopedHandle.h"
#include "SimSetting.h"
#include "TestSupport.h"

namespace {

const GUID kBatteryClass = {0x72631e54, 0x78a4, 0x11d0, {0xbc, 0xf7, 0x00, 0xaa, 0x00, 0xb7, 0xb3, 0x2a}};
const wchar_t kPowerSensor[] = L"\\\\.\\ZAVPSRD";
const wchar_t kEmbeddedController[] = L"\\\\.\\ZAVECFILTER";
const DWORD kSentinel = 0xDEADBEEF;
// ERROR_NO_SUCH_DEVICE, which the headers lack: a battery class driver's
// STATUS_NO_SUCH_DEVICE.
const DWORD kErrorNoSuchDevice = 433;

// A function of a loaded module, as type F; NULL when it has none.
template <typename F>
F ProcAddress(HMODULE hModule, const char* lpName)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(hModule, lpName)));
}

CScopedFileHandle OpenDevice(const wchar_t* lpPath, DWORD dwAccess = GENERIC_READ | GENERIC_WRITE)
{
    SetLastError(kSentinel);
    return CScopedFileHandle(CreateFileW(lpPath, dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         0, nullptr));
}

DWORD OpenError(const wchar_t* lpPath)
{
    return OpenDevice(lpPath).IsValid() ? 0 : GetLastError();
}

// One control request with input lpIn and a DWORD-sized answer or more: 0 and the
// answer in *pAnswer, or the last error with *pAnswer left as it was.
template <typename In = DWORD, typename Out = DWORD>
DWORD Ask(HANDLE hDevice, DWORD dwCode, Out* pAnswer, const In* pIn = nullptr, DWORD cbAnswer = sizeof(Out),
          DWORD* pcbReturned = nullptr)
{
    DWORD cbReturned = 0;
    SetLastError(kSentinel);
    if (!DeviceIoControl(hDevice, dwCode, const_cast<In*>(pIn), pIn ? sizeof(In) : 0, pAnswer, cbAnswer,
                         &cbReturned, nullptr)) {
        return GetLastError();
    }
    if (pcbReturned != nullptr) {
        *pcbReturned = cbReturned;
    } else {
        EXPECT_EQ(cbAnswer, cbReturned);
    }
    return 0;
}

// ---------------------------------------------------------------------------------
// Wattage devices

class DesktopDrivers : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_device = OpenDevice(kPowerSensor);
        ASSERT_TRUE(m_device.IsValid()) << "open error " << GetLastError();
    }

    CScopedFileHandle m_device;
};

TEST_F(DesktopDrivers, PowerSensorAnswersSupportAndALiveLinear11Reading)
{
    DWORD dwSupport = kSentinel;
    ASSERT_EQ(0u, Ask(m_device.Get(), IOCTL_PMCP, &dwSupport));
    EXPECT_EQ(static_cast<DWORD>(PMCP_GWAT_SUPPORTED), dwSupport);
    std::set<DWORD> readings;
    for (int i = 0; i < 13; i++) {
        DWORD dwRaw = kSentinel;
        ASSERT_EQ(0u, Ask(m_device.Get(), IOCTL_GWAT, &dwRaw));
        EXPECT_EQ(0xF800u, dwRaw & 0xFFFFF800) << "exponent -1 in a 16-bit word: " << std::hex << dwRaw;
        EXPECT_GE((dwRaw & 0x7FF) * 0.5, 20.0);
        EXPECT_LE((dwRaw & 0x7FF) * 0.5, 60.0);
        readings.insert(dwRaw);
    }
    EXPECT_GT(readings.size(), 1u) << "the live reading never changes";
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), OpenError(kEmbeddedController)) << "a desktop has none";
}

// The values are read at each request, on the same handle; a failure switch fails
// only its request and leaves the output untouched.
TEST_F(DesktopDrivers, AnswersWhatTheRegistryHoldsAndFailsWhereSwitched)
{
    CSimSetting gwat(L"ZAVPSRD", L"Gwat", 0xF8C8);
    CSimSetting pmcp(L"ZAVPSRD", L"Pmcp", 0);
    DWORD dwAnswer = kSentinel;
    ASSERT_EQ(0u, Ask(m_device.Get(), IOCTL_GWAT, &dwAnswer));
    EXPECT_EQ(0xF8C8u, dwAnswer);
    ASSERT_EQ(0u, Ask(m_device.Get(), IOCTL_PMCP, &dwAnswer));
    EXPECT_EQ(0u, dwAnswer);
    gwat.Set(0x08C8);
    ASSERT_EQ(0u, Ask(m_device.Get(), IOCTL_GWAT, &dwAnswer));
    EXPECT_EQ(0x08C8u, dwAnswer);

    for (const auto& fail : {std::make_pair(L"FailGwat", IOCTL_GWAT), std::make_pair(L"FailPmcp", IOCTL_PMCP)}) {
        CSimSetting switched(L"ZAVPSRD", fail.first, 1);
        dwAnswer = kSentinel;
        EXPECT_EQ(static_cast<DWORD>(ERROR_IO_DEVICE), Ask(m_device.Get(), fail.second, &dwAnswer));
        EXPECT_EQ(kSentinel, dwAnswer);
        DWORD dwOther = (fail.second == IOCTL_GWAT) ? IOCTL_PMCP : IOCTL_GWAT;
        EXPECT_EQ(0u, Ask(m_device.Get(), dwOther, &dwAnswer));
    }
    EXPECT_EQ(0u, Ask(m_device.Get(), IOCTL_GWAT, &dwAnswer)) << "the switch outlived its value";
}

TEST_F(DesktopDrivers, RefusesOtherCodesShortBuffersAndHandlesWithoutWriteAccess)
{
    const DWORD dwOtherCode =
        CTL_CODE(ZAV_DEVICE_TYPE_WATTAGE, 0x872, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
    DWORD dwAnswer = kSentinel;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), Ask(m_device.Get(), dwOtherCode, &dwAnswer));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), Ask(m_device.Get(), IOCTL_ASL_PSTS, &dwAnswer));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
              Ask<DWORD>(m_device.Get(), IOCTL_GWAT, &dwAnswer, nullptr, 2));
    // Wine's own access check of a read-only handle, and the driver's switch that
    // answers the same.
    CScopedFileHandle readOnly = OpenDevice(kPowerSensor, GENERIC_READ);
    ASSERT_TRUE(readOnly.IsValid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Ask(readOnly.Get(), IOCTL_GWAT, &dwAnswer));
    {
        CSimSetting deny(L"ZAVPSRD", L"DenyWrite", 1);
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Ask(m_device.Get(), IOCTL_PMCP, &dwAnswer));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Ask(m_device.Get(), IOCTL_GWAT, &dwAnswer));
    }
    EXPECT_EQ(kSentinel, dwAnswer);
    EXPECT_EQ(0u, Ask(m_device.Get(), IOCTL_GWAT, &dwAnswer));
}

TEST(NotebookDrivers, EmbeddedControllerAnswersLiveWholeWattsOrLacksTheFunction)
{
    CScopedFileHandle device = OpenDevice(kEmbeddedController);
    ASSERT_TRUE(device.IsValid()) << "open error " << GetLastError();
    DWORD dwAnswer = kSentinel;
    ASSERT_EQ(0u, Ask(device.Get(), IOCTL_PMCP, &dwAnswer));
    EXPECT_EQ(static_cast<DWORD>(PMCP_GWAT_SUPPORTED), dwAnswer);
    ASSERT_EQ(0u, Ask(device.Get(), IOCTL_GWAT, &dwAnswer));
    EXPECT_GE(dwAnswer, 8u);
    EXPECT_LE(dwAnswer, 25u);

    CSimSetting pmcp(L"ZAVECFILTER", L"Pmcp", 0x1);
    CSimSetting gwat(L"ZAVECFILTER", L"Gwat", 400);
    ASSERT_EQ(0u, Ask(device.Get(), IOCTL_PMCP, &dwAnswer));
    EXPECT_EQ(0x1u, dwAnswer);
    ASSERT_EQ(0u, Ask(device.Get(), IOCTL_GWAT, &dwAnswer));
    EXPECT_EQ(400u, dwAnswer);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), OpenError(kPowerSensor)) << "a notebook has none";
}

// ---------------------------------------------------------------------------------
// Batteries, found as the service finds them

struct CBatteryInterface {
    std::wstring path;
    std::wstring service;  // SPDRP_SERVICE of its device
};

// The present battery interfaces in enumeration order, and in *pdwEnd the error that
// ended the enumeration.
std::vector<CBatteryInterface> BatteryInterfaces(DWORD* pdwEnd)
{
    std::vector<CBatteryInterface> found;
    HDEVINFO hSet = SetupDiGetClassDevsW(&kBatteryClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    *pdwEnd = GetLastError();
    if (hSet == INVALID_HANDLE_VALUE) {
        return found;
    }
    SP_DEVICE_INTERFACE_DATA iface = {};
    iface.cbSize = sizeof(iface);
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(hSet, nullptr, &kBatteryClass, i, &iface); i++) {
        BYTE detail[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) + MAX_PATH * sizeof(WCHAR)] = {};
        auto* pDetail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detail);
        pDetail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof(device);
        wchar_t szService[MAX_PATH] = L"";
        EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailW(hSet, &iface, pDetail, sizeof(detail), nullptr, &device));
        EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyW(hSet, &device, SPDRP_SERVICE, nullptr,
                                                      reinterpret_cast<BYTE*>(szService), sizeof(szService), nullptr));
        found.push_back({pDetail->DevicePath, szService});
    }
    *pdwEnd = GetLastError();
    SetupDiDestroyDeviceInfoList(hSet);
    return found;
}

DWORD QueryTag(HANDLE hBattery, DWORD* pdwTag)
{
    DWORD dwWait = 1000;
    return Ask(hBattery, IOCTL_BATTERY_QUERY_TAG, pdwTag, &dwWait);
}

DWORD QueryStatus(HANDLE hBattery, DWORD dwTag, BATTERY_STATUS* pStatus)
{
    BATTERY_WAIT_STATUS wait = {dwTag, 0, 0, 0, 0};
    return Ask(hBattery, IOCTL_BATTERY_QUERY_STATUS, pStatus, &wait);
}

// Two simulated batteries, found as the service finds them (two interfaces of devices
// served by zavbatt, index 2 ends the enumeration) and told apart by their tags: slot 0
// answers 100, slot 1 answers 200, whatever interface index the enumeration gave them.
class Batteries : public ::testing::Test {
protected:
    void SetUp() override
    {
        DWORD dwEnd = 0;
        std::vector<CBatteryInterface> batteries = BatteryInterfaces(&dwEnd);
        ASSERT_EQ(2u, batteries.size());
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), dwEnd);
        for (const auto& battery : batteries) {
            EXPECT_EQ(0, _wcsicmp(L"zavbatt", battery.service.c_str())) << testing::PrintToString(battery.service);
            CScopedFileHandle handle = OpenDevice(battery.path.c_str());
            ASSERT_TRUE(handle.IsValid()) << "open error " << GetLastError();
            DWORD dwTag = 0;
            ASSERT_EQ(0u, QueryTag(handle.Get(), &dwTag));
            ASSERT_TRUE(dwTag == 100 || dwTag == 200) << "tag " << dwTag;
            m_slot[dwTag / 100 - 1] = std::move(handle);
        }
    }

    HANDLE Slot(int nSlot) const { return m_slot[nSlot].Get(); }

    CSimSetting m_tag0{L"ZAVBATT\\Battery0", L"Tag", 100};
    CSimSetting m_tag1{L"ZAVBATT\\Battery1", L"Tag", 200};
    CScopedFileHandle m_slot[2];
};

TEST_F(Batteries, StatusAndPowerStateWordAreAsConfigured)
{
    CSimSetting capacity(L"ZAVBATT\\Battery1", L"Capacity", 12345);
    CSimSetting state(L"ZAVBATT\\Battery1", L"PowerState", BATTERY_DISCHARGING);
    CSimSetting voltage(L"ZAVBATT\\Battery1", L"Voltage", 10800);
    CSimSetting rate(L"ZAVBATT\\Battery1", L"Rate", static_cast<DWORD>(-5000));
    CSimSetting psts(L"ZAVBATT\\Battery1", L"Psts", 0);
    BATTERY_STATUS status = {};
    ASSERT_EQ(0u, QueryStatus(Slot(1), 200, &status));
    EXPECT_EQ(12345u, status.Capacity);
    EXPECT_EQ(static_cast<ULONG>(BATTERY_DISCHARGING), status.PowerState);
    EXPECT_EQ(10800u, status.Voltage);
    EXPECT_EQ(-5000, status.Rate);
    DWORD dwPsts = kSentinel;
    ASSERT_EQ(0u, Ask(Slot(1), IOCTL_ASL_PSTS, &dwPsts));
    EXPECT_EQ(0u, dwPsts);

    // Slot 0 keeps its defaults: on line, peak shift not in force.
    ASSERT_EQ(0u, QueryStatus(Slot(0), 100, &status));
    EXPECT_EQ(static_cast<ULONG>(BATTERY_POWER_ON_LINE), status.PowerState);
    EXPECT_EQ(36000u, status.Capacity);
    ASSERT_EQ(0u, Ask(Slot(0), IOCTL_ASL_PSTS, &dwPsts));
    EXPECT_EQ(static_cast<DWORD>(ASL_PSTS_PEAKSHIFT_OFF), dwPsts);
    // An unknown capacity passes through.
    capacity.Set(BATTERY_UNKNOWN_CAPACITY);
    ASSERT_EQ(0u, QueryStatus(Slot(1), 200, &status));
    EXPECT_EQ(static_cast<ULONG>(BATTERY_UNKNOWN_CAPACITY), status.Capacity);
}

TEST_F(Batteries, EmptySlotStaleTagAndFailureSwitchesFail)
{
    BATTERY_STATUS status = {};
    DWORD dwTag = kSentinel;
    {
        CSimSetting empty(L"ZAVBATT\\Battery1", L"Present", 0);
        EXPECT_EQ(kErrorNoSuchDevice, QueryTag(Slot(1), &dwTag));
        EXPECT_EQ(kSentinel, dwTag);
        EXPECT_EQ(kErrorNoSuchDevice, QueryStatus(Slot(1), 200, &status));
        EXPECT_EQ(0u, QueryTag(Slot(0), &dwTag));
        EXPECT_EQ(100u, dwTag);
    }
    EXPECT_EQ(kErrorNoSuchDevice, QueryStatus(Slot(0), 200, &status)) << "stale tag";
    {
        CSimSetting fail(L"ZAVBATT\\Battery0", L"FailStatus", 1);
        EXPECT_EQ(static_cast<DWORD>(ERROR_IO_DEVICE), QueryStatus(Slot(0), 100, &status));
    }
    CSimSetting fail(L"ZAVBATT\\Battery0", L"FailPsts", 1);
    DWORD dwPsts = kSentinel;
    EXPECT_EQ(static_cast<DWORD>(ERROR_IO_DEVICE), Ask(Slot(0), IOCTL_ASL_PSTS, &dwPsts));
    EXPECT_EQ(kSentinel, dwPsts);
    EXPECT_EQ(0u, QueryStatus(Slot(0), 100, &status));
}

TEST_F(Batteries, InformationAndDeviceName)
{
    CSimSetting name(L"ZAVBATT\\Battery0", L"DeviceName", std::wstring(L"ZAV-BP-42"));
    CSimSetting designed(L"ZAVBATT\\Battery0", L"DesignedCapacity", 61000);
    BATTERY_QUERY_INFORMATION query = {100, BatteryDeviceName, 0};
    wchar_t szName[260];
    DWORD cbReturned = 0;
    ASSERT_EQ(0u, Ask(Slot(0), IOCTL_BATTERY_QUERY_INFORMATION, szName, &query, sizeof(szName), &cbReturned));
    EXPECT_STREQ(L"ZAV-BP-42", szName);
    EXPECT_EQ(sizeof(L"ZAV-BP-42"), cbReturned);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
              Ask(Slot(0), IOCTL_BATTERY_QUERY_INFORMATION, szName, &query, 4, &cbReturned));

    query.InformationLevel = BatteryInformation;
    BATTERY_INFORMATION info = {};
    ASSERT_EQ(0u, Ask(Slot(0), IOCTL_BATTERY_QUERY_INFORMATION, &info, &query));
    EXPECT_EQ(61000u, info.DesignedCapacity);
    EXPECT_EQ(static_cast<ULONG>(BATTERY_SYSTEM_BATTERY), info.Capabilities & BATTERY_SYSTEM_BATTERY);
    DWORD dwAnswer = kSentinel;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), Ask(Slot(0), IOCTL_GWAT, &dwAnswer));
}

// ---------------------------------------------------------------------------------
// The fake power supply, read by GetSystemPowerStatus in this process

// Writes one entry of the fake power supply folder that tools/sim-hw published.
void WritePowerSupply(const std::wstring& entry, const char* lpText)
{
    wchar_t szFolder[MAX_PATH];
    DWORD cbFolder = sizeof(szFolder);
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\ZAVSim\\PowerSupply", L"Folder",
                                          RRF_RT_REG_SZ, nullptr, szFolder, &cbFolder));
    std::wstring path = std::wstring(szFolder) + L"\\" + entry;
    CScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.IsValid()) << testsupport::Narrow(path);
    DWORD cbWritten = 0;
    ASSERT_TRUE(WriteFile(file.Get(), lpText, static_cast<DWORD>(strlen(lpText)), &cbWritten, nullptr));
}

TEST(PowerSupply, SystemPowerStatusFollowsTheFakeEntries)
{
    struct Case {
        const char* lpOnline;
        const char* lpStatus;
        const char* lpChargeNow;  // of 5000000
        BYTE byAcLine, byFlag, byPercent;
    } cases[] = {
        {"0\n", "Discharging\n", "1850000\n", 0, 0, 37},
        {"1\n", "Charging\n", "4100000\n", 1, 9, 82},
        {"1\n", "Full\n", "5000000\n", 1, 1, 100},
    };
    for (const auto& c : cases) {
        WritePowerSupply(L"AC\\online", c.lpOnline);
        WritePowerSupply(L"BAT0\\status", c.lpStatus);
        WritePowerSupply(L"BAT0\\charge_now", c.lpChargeNow);
        SYSTEM_POWER_STATUS status = {};
        ASSERT_TRUE(GetSystemPowerStatus(&status));
        EXPECT_EQ(c.byAcLine, status.ACLineStatus) << c.lpStatus;
        EXPECT_EQ(c.byFlag, status.BatteryFlag) << c.lpStatus;
        EXPECT_EQ(c.byPercent, status.BatteryLifePercent) << c.lpStatus;
    }
}

// ---------------------------------------------------------------------------------
// The power-profile stand-in, loaded by name as the service loads it

const GUID kBalanced = {0x381b4222, 0xf694, 0x41f0, {0x96, 0x85, 0xff, 0x5b, 0xb2, 0x60, 0xdf, 0x2e}};
const GUID kPowerSaver = {0xa1841308, 0x3541, 0x4fab, {0xbc, 0x81, 0xf7, 0x15, 0x56, 0xf2, 0x0b, 0x4a}};
const wchar_t kPowerSaverText[] = L"{a1841308-3541-4fab-bc81-f71556f20b4a}";

class PowrProf : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_hModule = LoadLibraryW(L"PowrProf.dll");
        ASSERT_NE(nullptr, m_hModule);
        m_getActiveScheme = ProcAddress<DWORD(WINAPI*)(HKEY, GUID**)>(m_hModule, "PowerGetActiveScheme");
        m_readFriendlyName = ProcAddress<DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, PUCHAR, LPDWORD)>(
            m_hModule, "PowerReadFriendlyName");
        ASSERT_NE(nullptr, m_getActiveScheme);
        ASSERT_NE(nullptr, m_readFriendlyName);
    }
    void TearDown() override { FreeLibrary(m_hModule); }

    // The active scheme's friendly name, read as the service reads it.
    std::wstring ActiveName()
    {
        GUID* pActive = nullptr;
        EXPECT_EQ(0u, m_getActiveScheme(nullptr, &pActive));
        if (pActive == nullptr) {
            return L"";
        }
        CScopedLocalMem active(pActive);
        EXPECT_EQ(sizeof(GUID), LocalSize(pActive)) << "not from LocalAlloc";
        DWORD cbName = 0;
        EXPECT_EQ(0u, m_readFriendlyName(nullptr, pActive, nullptr, nullptr, nullptr, &cbName));
        std::vector<BYTE> name(cbName + 2, 0xCC);
        EXPECT_EQ(0u, m_readFriendlyName(nullptr, pActive, nullptr, nullptr, name.data(), &cbName));
        EXPECT_EQ(0xCC, name[cbName]) << "wrote past the size it announced";
        return reinterpret_cast<const wchar_t*>(name.data());
    }

    HMODULE m_hModule = nullptr;
    DWORD(WINAPI* m_getActiveScheme)(HKEY, GUID**) = nullptr;
    DWORD(WINAPI* m_readFriendlyName)(HKEY, const GUID*, const GUID*, const GUID*, PUCHAR, LPDWORD) = nullptr;
};

TEST_F(PowrProf, IsTheStandInBesideTheProgramAndFollowsTheActiveScheme)
{
    wchar_t szModule[MAX_PATH], szExe[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameW(m_hModule, szModule, MAX_PATH));
    ASSERT_NE(0u, GetModuleFileNameW(nullptr, szExe, MAX_PATH));
    *wcsrchr(szModule, L'\\') = L'\0';
    *wcsrchr(szExe, L'\\') = L'\0';
    EXPECT_EQ(0, _wcsicmp(szExe, szModule));

    EXPECT_EQ(L"バランス", ActiveName());
    {
        CSimSetting active(L"PowerSchemes", L"Active", std::wstring(kPowerSaverText));
        EXPECT_EQ(L"省電力", ActiveName());
    }
    CSimSetting active(L"PowerSchemes", L"Active", std::wstring(L"{5A560051-554F-4A50-8C41-4E0000000001}"));
    EXPECT_EQ(L"QUO", ActiveName());
}

TEST_F(PowrProf, ErrorsOfFriendlyNameAndActiveScheme)
{
    DWORD cbName = 4;
    BYTE small[4];
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA),
              m_readFriendlyName(nullptr, &kPowerSaver, nullptr, nullptr, small, &cbName));
    EXPECT_EQ(sizeof(L"省電力"), cbName);
    const GUID unknown = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              m_readFriendlyName(nullptr, &unknown, nullptr, nullptr, nullptr, &cbName));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED),
              m_readFriendlyName(nullptr, &kBalanced, &kPowerSaver, nullptr, nullptr, &cbName));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), m_getActiveScheme(nullptr, nullptr));

    CSimSetting broken(L"PowerSchemes", L"Active", std::wstring(L"balanced"));
    GUID* pActive = reinterpret_cast<GUID*>(&cbName);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), m_getActiveScheme(nullptr, &pActive));
    EXPECT_EQ(reinterpret_cast<GUID*>(&cbName), pActive) << "output written on failure";
}

// Collects the schemes EnumPwrSchemes reports until it has lParam's stop count.
struct SchemeList {
    std::set<std::pair<UINT, std::wstring>> schemes;
    size_t nStopAfter;
};

BOOLEAN CALLBACK CollectScheme(UINT uIndex, DWORD cbName, LPWSTR lpName, DWORD, LPWSTR, PPOWER_POLICY pPolicy,
                               LPARAM lParam)
{
    auto* pList = reinterpret_cast<SchemeList*>(lParam);
    EXPECT_NE(nullptr, pPolicy);
    EXPECT_EQ((wcslen(lpName) + 1) * sizeof(wchar_t), cbName);
    pList->schemes.emplace(uIndex, lpName);
    return pList->schemes.size() < pList->nStopAfter;
}

TEST_F(PowrProf, WindowsXpSchemeFunctionsShareTheSchemes)
{
    auto getActive = ProcAddress<BOOLEAN(WINAPI*)(PUINT)>(m_hModule, "GetActivePwrScheme");
    auto enumSchemes = ProcAddress<BOOLEAN(WINAPI*)(PWRSCHEMESENUMPROC, LPARAM)>(m_hModule, "EnumPwrSchemes");
    ASSERT_NE(nullptr, getActive);
    ASSERT_NE(nullptr, enumSchemes);
    UINT uActive = 0xFFFF;
    ASSERT_TRUE(getActive(&uActive));
    EXPECT_EQ(0u, uActive);
    {
        CSimSetting active(L"PowerSchemes", L"Active", std::wstring(kPowerSaverText));
        ASSERT_TRUE(getActive(&uActive));
        EXPECT_EQ(1u, uActive);
    }
    SchemeList all{{}, 100};
    ASSERT_TRUE(enumSchemes(CollectScheme, reinterpret_cast<LPARAM>(&all)));
    std::set<std::pair<UINT, std::wstring>> expected = {{0, L"バランス"}, {1, L"省電力"}, {2, L"高パフォーマンス"}, {3, L"QUO"}};
    EXPECT_EQ(expected, all.schemes);
    SchemeList first{{}, 1};
    ASSERT_TRUE(enumSchemes(CollectScheme, reinterpret_cast<LPARAM>(&first)));
    EXPECT_EQ(1u, first.schemes.size()) << "enumeration went on after FALSE";
}

// ---------------------------------------------------------------------------------
// The peak-shift tool, present as its program file

bool PeakShiftToolExists()
{
    wchar_t szFolder[MAX_PATH];
    EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, szFolder, CSIDL_PROGRAM_FILES, FALSE));
    return GetFileAttributesW((std::wstring(szFolder) + L"\\Tandora\\Tandora.exe").c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(PeakShiftTool, IsInstalledInTheProgramFilesFolder)
{
    EXPECT_TRUE(PeakShiftToolExists());
}

// ---------------------------------------------------------------------------------
// After tools/sim-hw remove and a restart of the session

// Wine's own power profile library again: loaded the same way, it lacks the function.
class RemovedMachine : public PowrProf {
};

TEST_F(RemovedMachine, HasNoDevicesAndWinesPowerProfile)
{
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), OpenError(kPowerSensor));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), OpenError(kEmbeddedController));
    DWORD dwEnd = 0;
    EXPECT_TRUE(BatteryInterfaces(&dwEnd).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), dwEnd);
    EXPECT_FALSE(PeakShiftToolExists());
    GUID* pActive = nullptr;
    EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), m_getActiveScheme(nullptr, &pActive));
}

}  // namespace
