// Stand-in for the maker's level library QuoLevel.dll, implementing common/QuoLevel.h.
//
// What the library reports is read at every call from HKLM\Software\ZAVSim\QuoLevel:
//   "Level"                  DWORD  QuoApiGetActiveQuoLevel's answer (default 3); the
//                                   failure answers 0xF001 to 0xF003 are set here too
//   "Monitor1Name", "Monitor2Name"   SZ     the displays' names (default none)
//   "Monitor1Level", "Monitor2Level" DWORD  their levels (default 0)
//   "MonitorInfoError"       DWORD  non-zero: QuoApiGetCurrentMonitorInfo answers it
//   "MonitorUpdateRequest"   DWORD  any change fires QUOLEVEL_REQUEST_MONITORUPDATE
//   "FailInitializeSrv", "FailRegisterCallback", "FailWatchActiveScheme", "FailUpdate"
//                            DWORD  non-zero: those functions answer FALSE
// Once a callback is registered, a thread of the library watches the key and calls it
// with QUOLEVEL_MONITOR_CHANGE, QUOLEVEL_REQUEST_MONITORUPDATE and QUOLEVEL_LEVEL_CHANGE
// (in that order) when the corresponding values change after the registration.
//
// Every call is counted in HKLM\Software\ZAVSim\QuoLevelCalls, a DWORD named after the
// function, so that tests see what the service and the agent asked.
#include <windows.h>

#include <cwchar>

#include "QuoLevel.h"
#include "ScopedHandle.h"

namespace {

const wchar_t kKey[] = L"Software\\ZAVSim\\QuoLevel";
const wchar_t kCallsKey[] = L"Software\\ZAVSim\\QuoLevelCalls";
const DWORD kDefaultLevel = 3;

// What the library reports, as the registry holds it now.
struct CState {
    DWORD dwLevel = kDefaultLevel;
    QuoMonitorInfo monitors = {};
    DWORD dwMonitorUpdateRequest = 0;
};

DWORD ReadDword(HKEY hKey, const wchar_t* lpName, DWORD dwDefault)
{
    DWORD dwValue = 0, cbValue = sizeof(dwValue);
    if (hKey == nullptr ||
        RegGetValueW(hKey, nullptr, lpName, RRF_RT_REG_DWORD, nullptr, &dwValue, &cbValue) != ERROR_SUCCESS) {
        return dwDefault;
    }
    return dwValue;
}

// Reads a name into szName (truncated, always terminated); empty when it cannot be read.
void ReadName(HKEY hKey, const wchar_t* lpName, WCHAR (&szName)[QUOMONITOR_NAME_CHARS])
{
    wchar_t szValue[MAX_PATH];
    DWORD cbValue = sizeof(szValue);
    szName[0] = L'\0';
    if (hKey != nullptr &&
        RegGetValueW(hKey, nullptr, lpName, RRF_RT_REG_SZ, nullptr, szValue, &cbValue) == ERROR_SUCCESS) {
        wcsncpy(szName, szValue, QUOMONITOR_NAME_CHARS - 1);
        szName[QUOMONITOR_NAME_CHARS - 1] = L'\0';
    }
}

CScopedRegKey OpenKey(const wchar_t* lpPath, REGSAM sam)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, lpPath, 0, sam, &hKey) != ERROR_SUCCESS) {
        return CScopedRegKey();
    }
    return CScopedRegKey(hKey);
}

CState ReadState()
{
    CScopedRegKey key = OpenKey(kKey, KEY_READ);
    CState state;
    state.dwLevel = ReadDword(key.Get(), L"Level", kDefaultLevel);
    ReadName(key.Get(), L"Monitor1Name", state.monitors.Monitor[0].szMonitorName);
    state.monitors.Monitor[0].dwLevel = ReadDword(key.Get(), L"Monitor1Level", 0);
    ReadName(key.Get(), L"Monitor2Name", state.monitors.Monitor[1].szMonitorName);
    state.monitors.Monitor[1].dwLevel = ReadDword(key.Get(), L"Monitor2Level", 0);
    state.dwMonitorUpdateRequest = ReadDword(key.Get(), L"MonitorUpdateRequest", 0);
    return state;
}

bool MonitorsEqual(const QuoMonitorInfo& a, const QuoMonitorInfo& b)
{
    for (int i = 0; i < QUOMONITOR_COUNT; i++) {
        if (wcscmp(a.Monitor[i].szMonitorName, b.Monitor[i].szMonitorName) != 0 ||
            a.Monitor[i].dwLevel != b.Monitor[i].dwLevel) {
            return false;
        }
    }
    return true;
}

// True when the failure switch lpName is set.
bool FailSwitch(const wchar_t* lpName)
{
    CScopedRegKey key = OpenKey(kKey, KEY_READ);
    return ReadDword(key.Get(), lpName, 0) != 0;
}

void CountCall(const wchar_t* lpFunction)
{
    HKEY hKey = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kCallsKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &hKey,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    CScopedRegKey key(hKey);
    DWORD dwCount = ReadDword(key.Get(), lpFunction, 0) + 1;
    RegSetValueExW(key.Get(), lpFunction, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwCount), sizeof(dwCount));
}

// The library's state in this process, guarded by g_lock.
SRWLOCK g_lock = SRWLOCK_INIT;
bool g_bInitialized = false;
QUOLEVEL_CALLBACK g_pFunc = nullptr;
LPVOID g_lpParam = nullptr;
HANDLE g_hStop = nullptr;
HANDLE g_hWatcher = nullptr;
DWORD g_dwWatcherId = 0;

void Fire(DWORD dwEvent)
{
    AcquireSRWLockShared(&g_lock);
    QUOLEVEL_CALLBACK pFunc = g_pFunc;
    LPVOID lpParam = g_lpParam;
    ReleaseSRWLockShared(&g_lock);
    if (pFunc != nullptr) {
        pFunc(dwEvent, lpParam);
    }
}

// What the watcher thread is given: set hReady once it watches (a change after that
// is reported), end when hStop is set.
struct CWatchStart {
    HANDLE hStop;
    HANDLE hReady;
};

// Watches the library's key until hStop is set and fires the events of what changed.
// The thread holds a reference on the library, so that it stays loaded while it runs.
DWORD WINAPI WatchProc(LPVOID lpStart)
{
    const CWatchStart start = *static_cast<const CWatchStart*>(lpStart);
    HANDLE hStop = start.hStop;
    HMODULE hSelf = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&WatchProc), &hSelf);

    HKEY hKey = nullptr;
    CScopedKernelHandle changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (changed.IsValid() &&
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_READ | KEY_NOTIFY, nullptr, &hKey, nullptr) ==
            ERROR_SUCCESS) {
        CScopedRegKey key(hKey);
        // Arm the notification before reading, so that no change between the two is lost.
        bool bArmed = RegNotifyChangeKeyValue(key.Get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                              changed.Get(), TRUE) == ERROR_SUCCESS;
        CState last = ReadState();
        SetEvent(start.hReady);
        HANDLE handles[2] = {hStop, changed.Get()};
        while (bArmed && WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            bArmed = RegNotifyChangeKeyValue(key.Get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                             changed.Get(), TRUE) == ERROR_SUCCESS;
            CState now = ReadState();
            if (!MonitorsEqual(now.monitors, last.monitors)) {
                Fire(QUOLEVEL_MONITOR_CHANGE);
            }
            if (now.dwMonitorUpdateRequest != last.dwMonitorUpdateRequest) {
                Fire(QUOLEVEL_REQUEST_MONITORUPDATE);
            }
            if (now.dwLevel != last.dwLevel) {
                Fire(QUOLEVEL_LEVEL_CHANGE);
            }
            last = now;
        }
    }
    // Also when the watch could not start: the starter stops waiting.
    SetEvent(start.hReady);
    FreeLibraryAndExitThread(hSelf, 0);
}

// Stops the watcher thread and waits for its end, unless called on it (from a callback).
void StopWatcher()
{
    AcquireSRWLockExclusive(&g_lock);
    HANDLE hWatcher = g_hWatcher;
    HANDLE hStop = g_hStop;
    DWORD dwWatcherId = g_dwWatcherId;
    g_hWatcher = nullptr;
    g_hStop = nullptr;
    g_dwWatcherId = 0;
    ReleaseSRWLockExclusive(&g_lock);
    if (hWatcher == nullptr) {
        return;
    }
    SetEvent(hStop);
    if (dwWatcherId != GetCurrentThreadId()) {
        WaitForSingleObject(hWatcher, INFINITE);
    }
    CloseHandle(hWatcher);
    CloseHandle(hStop);
}

// Starts the watcher thread unless it runs, and returns once it watches; false when it
// cannot be started.
bool StartWatcher()
{
    AcquireSRWLockExclusive(&g_lock);
    bool bRunning = g_hWatcher != nullptr;
    ReleaseSRWLockExclusive(&g_lock);
    if (bRunning) {
        return true;
    }
    CScopedKernelHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CScopedKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop.IsValid() || !ready.IsValid()) {
        return false;
    }
    CWatchStart start = {stop.Get(), ready.Get()};
    DWORD dwId = 0;
    HANDLE hWatcher = CreateThread(nullptr, 0, WatchProc, &start, 0, &dwId);
    if (hWatcher == nullptr) {
        return false;
    }
    WaitForSingleObject(ready.Get(), INFINITE);
    if (WaitForSingleObject(hWatcher, 0) == WAIT_OBJECT_0) {
        // It could not watch and has ended.
        CloseHandle(hWatcher);
        return false;
    }
    AcquireSRWLockExclusive(&g_lock);
    g_hWatcher = hWatcher;
    g_hStop = stop.Release();
    g_dwWatcherId = dwId;
    ReleaseSRWLockExclusive(&g_lock);
    return true;
}

}  // namespace

extern "C" BOOL WINAPI QuoApiInitializeSrv(void)
{
    CountCall(L"QuoApiInitializeSrv");
    if (FailSwitch(L"FailInitializeSrv")) {
        return FALSE;
    }
    AcquireSRWLockExclusive(&g_lock);
    g_bInitialized = true;
    ReleaseSRWLockExclusive(&g_lock);
    return TRUE;
}

// Registers the callback (replacing an earlier one) and starts watching. FALSE before
// QuoApiInitializeSrv, for a NULL callback, or when the switch says so.
extern "C" BOOL WINAPI QuoApiRegisterCallback(QUOLEVEL_CALLBACK pFunc, LPVOID lParam)
{
    CountCall(L"QuoApiRegisterCallback");
    if (pFunc == nullptr || FailSwitch(L"FailRegisterCallback")) {
        return FALSE;
    }
    AcquireSRWLockExclusive(&g_lock);
    bool bInitialized = g_bInitialized;
    if (bInitialized) {
        g_pFunc = pFunc;
        g_lpParam = lParam;
    }
    ReleaseSRWLockExclusive(&g_lock);
    return bInitialized && StartWatcher();
}

extern "C" void WINAPI QuoApiFinalizeSrv(void)
{
    CountCall(L"QuoApiFinalizeSrv");
    StopWatcher();
    AcquireSRWLockExclusive(&g_lock);
    g_bInitialized = false;
    g_pFunc = nullptr;
    g_lpParam = nullptr;
    ReleaseSRWLockExclusive(&g_lock);
}

extern "C" DWORD WINAPI QuoApiGetActiveQuoLevel(void)
{
    CountCall(L"QuoApiGetActiveQuoLevel");
    return ReadState().dwLevel;
}

extern "C" DWORD WINAPI QuoApiGetCurrentMonitorInfo(QuoMonitorInfo* pInfo)
{
    CountCall(L"QuoApiGetCurrentMonitorInfo");
    if (pInfo == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    CScopedRegKey key = OpenKey(kKey, KEY_READ);
    DWORD dwError = ReadDword(key.Get(), L"MonitorInfoError", 0);
    if (dwError != 0) {
        return dwError;
    }
    *pInfo = ReadState().monitors;
    return 0;
}

extern "C" BOOL WINAPI QuoApiInitializeWatchActiveScheme(void)
{
    CountCall(L"QuoApiInitializeWatchActiveScheme");
    return FailSwitch(L"FailWatchActiveScheme") ? FALSE : TRUE;
}

extern "C" BOOL WINAPI QuoApiFinalizeWatchActiveScheme(void)
{
    CountCall(L"QuoApiFinalizeWatchActiveScheme");
    return FailSwitch(L"FailWatchActiveScheme") ? FALSE : TRUE;
}

extern "C" BOOL WINAPI QuoApiUpdateMonitorInfo(void)
{
    CountCall(L"QuoApiUpdateMonitorInfo");
    return FailSwitch(L"FailUpdate") ? FALSE : TRUE;
}

extern "C" BOOL WINAPI QuoApiUpdateActiveQuoLevel(void)
{
    CountCall(L"QuoApiUpdateActiveQuoLevel");
    return FailSwitch(L"FailUpdate") ? FALSE : TRUE;
}
