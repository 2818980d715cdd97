#include "Service.h"

#include <strsafe.h>

#include <algorithm>

#include "ScopedHandle.h"
#include "StackLock.h"
#include "Trace.h"

WCHAR CService::m_szServiceName[CService::kNameChars];
CService* CService::m_lpObj = nullptr;
SERVICE_STATUS CService::m_ServiceStatus;
SERVICE_STATUS_HANDLE CService::m_hServiceStatus = nullptr;
HANDLE CService::m_hTerminateEvent = nullptr;

namespace {

const WCHAR kSwitchUninstall[] = L"/UNINSTALL";
const WCHAR kSwitchStart[] = L"/START";
const WCHAR kSwitchStop[] = L"/STOP";
const WCHAR kSwitchInstall[] = L"/INSTALL";
const WCHAR kSwitchDelayed[] = L"/D";
const WCHAR kMutexFormat[] = L"Global\\mtx_%s";
const DWORD kStartPendingHint = 5000;
const DWORD kPollMaxMs = 500;
// A service that reports no wait hint is still polled at a calm pace.
const DWORD kPollMinMs = 100;

// Serialises the reports of the service main thread and of the control handler, so
// that a state and its check point always travel together.
CRITICAL_SECTION* StatusLock()
{
    struct CLock {
        CRITICAL_SECTION cs;
        CLock() { InitializeCriticalSection(&cs); }
        ~CLock() { DeleteCriticalSection(&cs); }
    };
    static CLock lock;
    return &lock.cs;
}

// The exit code of a service that stopped when it should have run: its own Win32
// exit code, or a code that still says it is not running.
DWORD StoppedExitCode(const SERVICE_STATUS& status)
{
    if (status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR && status.dwServiceSpecificExitCode != 0) {
        return status.dwServiceSpecificExitCode;
    }
    return (status.dwWin32ExitCode != ERROR_SUCCESS) ? status.dwWin32ExitCode : ERROR_SERVICE_NOT_ACTIVE;
}

}  // namespace

CService::CService() : m_szDisplayName(), m_szDescription(), m_byDependencies(), m_bInitialized(FALSE)
{
    StatusLock();
}

CService::~CService()
{
    TRACE_ENTER(2);
    TRACE_LEAVE_VOID();
}

DWORD CService::Initialize(LPCWSTR lpszServiceName, LPCWSTR lpszDisplayName, LPCWSTR lpszDescription,
                           const BYTE* lpDependencies, DWORD cbDependencies)
{
    TRACE_ENTER(2);
    if (lpszServiceName == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszServiceName);
    }
    if (lpszDisplayName == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszDisplayName);
    }
    if (lpszDescription == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszDescription);
    }
    StringCchCopyW(m_szServiceName, ARRAYSIZE(m_szServiceName), lpszServiceName);
    StringCchCopyW(m_szDisplayName, ARRAYSIZE(m_szDisplayName), lpszDisplayName);
    StringCchCopyW(m_szDescription, ARRAYSIZE(m_szDescription), lpszDescription);
    ZeroMemory(m_byDependencies, sizeof(m_byDependencies));
    if (lpDependencies != nullptr) {
        CopyMemory(m_byDependencies, lpDependencies, std::min(static_cast<size_t>(cbDependencies), sizeof(m_byDependencies)));
    }
    m_bInitialized = TRUE;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CService::Finalize()
{
    TRACE_ENTER(2);
    m_bInitialized = FALSE;
    TRACE_LEAVE_VOID();
}

BOOL CService::ArgCheck(int nArgc, LPWSTR* lpszArgv, LPDWORD lpdwRet)
{
    TRACE_ENTER(2);
    if (lpszArgv == nullptr || lpdwRet == nullptr) {
        TRACE(0, L"%s is NULL.", (lpszArgv == nullptr) ? L"lpszArgv" : L"lpdwRet");
        return TRACE_LEAVE_VALUE(FALSE);
    }
    if (!m_bInitialized) {
        *lpdwRet = ERROR_NOT_READY;
        return TRACE_LEAVE_VALUE(TRUE);
    }
    if (nArgc < 2) {
        *lpdwRet = ERROR_SUCCESS;
        return TRACE_LEAVE_VALUE(FALSE);
    }
    for (int i = 1; i < nArgc; ++i) {
        if (lstrcmpiW(lpszArgv[i], kSwitchUninstall) == 0) {
            *lpdwRet = Unregister();
            return TRACE_LEAVE_VALUE(TRUE);
        }
        if (lstrcmpiW(lpszArgv[i], kSwitchStart) == 0) {
            *lpdwRet = Start();
            return TRACE_LEAVE_VALUE(TRUE);
        }
        if (lstrcmpiW(lpszArgv[i], kSwitchStop) == 0) {
            *lpdwRet = Stop();
            return TRACE_LEAVE_VALUE(TRUE);
        }
    }
    if (nArgc >= 3) {
        for (int i = 1; i < nArgc; ++i) {
            if (lstrcmpiW(lpszArgv[i], kSwitchInstall) == 0) {
                LPCWSTR lpszPath = (i + 1 < nArgc) ? lpszArgv[i + 1] : nullptr;
                BOOL bDelayed = (i + 2 < nArgc) && lstrcmpiW(lpszArgv[i + 2], kSwitchDelayed) == 0;
                *lpdwRet = Register(lpszPath, bDelayed);
                return TRACE_LEAVE_VALUE(TRUE);
            }
        }
    }
    *lpdwRet = ERROR_INVALID_PARAMETER;
    return TRACE_LEAVE_VALUE(TRUE);
}

DWORD CService::Register(LPCWSTR lpszPath, BOOL bDelayedStart)
{
    TRACE_ENTER(2);
    if (!m_bInitialized) {
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    if (lpszPath == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszPath);
    }

    CScopedScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!scm.IsValid()) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in OpenSCManager(). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }
    CScopedScHandle service(CreateServiceW(scm.Get(), m_szServiceName, m_szDisplayName, SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                           lpszPath, nullptr /* no group */, nullptr /* no tag */,
                                           reinterpret_cast<LPCWSTR>(m_byDependencies), nullptr /* LocalSystem */,
                                           nullptr /* no password */));
    if (!service.IsValid()) {
        DWORD dwError = GetLastError();
        if (dwError == ERROR_SERVICE_EXISTS) {
            return TRACE_LEAVE(ERROR_SUCCESS);
        }
        TRACE(2, L"Failed to register.");
        return TRACE_LEAVE(dwError);
    }
    TRACE(2, L"Succeeded to register!");

    DWORD dwResult = ERROR_SUCCESS;
    SERVICE_DESCRIPTIONW description = {m_szDescription};
    if (ChangeServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, &description)) {
        TRACE(2, L"Succeeded to ChangeServiceConfig2(SERVICE_CONFIG_DESCRIPTION).");
    } else {
        dwResult = GetLastError();
        TRACE(2, L"Failed to ChangeServiceConfig2(SERVICE_CONFIG_DESCRIPTION).");
    }
    if (bDelayedStart) {
        // SERVICE_DELAYED_AUTO_START_INFO, which the headers of Windows XP lack; XP refuses
        // the level (124).
        struct {
            BOOL fDelayedAutostart;
        } delayed = {TRUE};
        if (ChangeServiceConfig2W(service.Get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed)) {
            TRACE(2, L"Succeeded to ChangeServiceConfig2(SERVICE_CONFIG_DELAYED_AUTO_START_INFO).");
        } else {
            dwResult = GetLastError();
            TRACE(2, L"Failed to ChangeServiceConfig2(SERVICE_CONFIG_DELAYED_AUTO_START_INFO).");
        }
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CService::OpenOwnService(CScopedScHandle* pScm, CScopedScHandle* pService)
{
    TRACE_ENTER(2);
    pScm->Reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!pScm->IsValid()) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in OpenSCManager(). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }
    pService->Reset(OpenServiceW(pScm->Get(), m_szServiceName, SERVICE_ALL_ACCESS));
    if (!pService->IsValid()) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in OpenService(). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::WaitForState(SC_HANDLE hService, DWORD dwWanted)
{
    TRACE_ENTER(2);
    DWORD dwStart = GetTickCount();
    for (;;) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(hService, &status)) {
            DWORD dwError = GetLastError();
            TRACE(0, L"Error in QueryServiceStatus(). code:%u", dwError);
            return TRACE_LEAVE(dwError);
        }
        if (status.dwCurrentState == dwWanted) {
            return TRACE_LEAVE(ERROR_SUCCESS);
        }
        if (status.dwCurrentState == SERVICE_STOPPED) {
            TRACE(0, L"The service stopped. code:%u", status.dwWin32ExitCode);
            return TRACE_LEAVE(StoppedExitCode(status));
        }
        if (GetTickCount() - dwStart > kControlWaitLimit) {
            TRACE(0, L"Time-out.");
            return TRACE_LEAVE(ERROR_TIMEOUT);
        }
        DWORD dwSleep = std::min(kPollMaxMs, std::max(kPollMinMs, status.dwWaitHint));
        TRACE(2, L"status.dwCurrentState == %08d", status.dwCurrentState);
        TRACE(2, L"Sleep:%d ms", dwSleep);
        Sleep(dwSleep);
    }
}

DWORD CService::Stop()
{
    TRACE_ENTER(2);
    if (!m_bInitialized) {
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    CScopedScHandle scm;
    CScopedScHandle service;
    DWORD dwOpened = OpenOwnService(&scm, &service);
    if (dwOpened != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwOpened);
    }
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service.Get(), &status)) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in QueryServiceStatus(). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }
    if (status.dwCurrentState == SERVICE_STOPPED) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in ControlService(). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }
    return TRACE_LEAVE(WaitForState(service.Get(), SERVICE_STOPPED));
}

DWORD CService::Start()
{
    TRACE_ENTER(2);
    if (!m_bInitialized) {
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    CScopedScHandle scm;
    CScopedScHandle service;
    DWORD dwOpened = OpenOwnService(&scm, &service);
    if (dwOpened != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwOpened);
    }
    if (!StartServiceW(service.Get(), 0, nullptr)) {
        DWORD dwError = GetLastError();
        if (dwError != ERROR_SERVICE_ALREADY_RUNNING) {
            TRACE(0, L"Error in StartService(). code:%u", dwError);
            return TRACE_LEAVE(dwError);
        }
        TRACE(2, L"The service already running.");
    }
    return TRACE_LEAVE(WaitForState(service.Get(), SERVICE_RUNNING));
}

DWORD CService::Unregister()
{
    TRACE_ENTER(2);
    if (!m_bInitialized) {
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    DWORD dwResult = Stop();
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    CScopedScHandle scm;
    CScopedScHandle service;
    DWORD dwOpened = OpenOwnService(&scm, &service);
    if (dwOpened != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwOpened);
    }
    if (!DeleteService(service.Get())) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in DeleteService(). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::ServiceEntry()
{
    TRACE_ENTER(2);
    if (!m_bInitialized) {
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    m_lpObj = this;

    WCHAR szMutexName[MAX_PATH];
    StringCchPrintfW(szMutexName, ARRAYSIZE(szMutexName), kMutexFormat, m_szServiceName);
    CScopedKernelHandle mutex(CreateMutexW(nullptr, TRUE /* owned */, szMutexName));
    DWORD dwError = GetLastError();
    if (!mutex.IsValid()) {
        TRACE(0, L"Error in CreateMutex(). code:%u", dwError);
        m_lpObj = nullptr;
        return TRACE_LEAVE(dwError);
    }
    if (dwError == ERROR_ALREADY_EXISTS) {
        TRACE(0, L"The service is already running.");
        m_lpObj = nullptr;
        return TRACE_LEAVE(ERROR_ALREADY_EXISTS);
    }

    SERVICE_TABLE_ENTRYW table[] = {{m_szServiceName, ServiceMain}, {nullptr, nullptr}};
    DWORD dwResult = ERROR_SUCCESS;
    if (!StartServiceCtrlDispatcherW(table)) {
        dwResult = GetLastError();
        TRACE(0, L"Error in StartServiceCtrlDispatcher(). code:%u", dwResult);
    }
    m_lpObj = nullptr;
    ReleaseMutex(mutex.Get());
    return TRACE_LEAVE(dwResult);
}

void WINAPI CService::ServiceMain(DWORD dwArgc, LPWSTR* lpszArgv)
{
    TRACE_ENTER(2);
    CService* pService = m_lpObj;
    if (pService == nullptr) {
        TRACE(2, L"m_lpObj is NULL.");
        TRACE_LEAVE_ERROR();
        return;
    }
    // The handler comes first, so that every failure after it can be reported.
    m_hServiceStatus = RegisterServiceCtrlHandlerExW(m_szServiceName, ServiceHandler, pService);
    if (m_hServiceStatus == nullptr) {
        TRACE(0, L"Error in RegisterServiceCtrlHandlerEx(). code:%u", GetLastError());
        TRACE_LEAVE_ERROR();
        return;
    }
    m_hTerminateEvent = CreateEventW(nullptr, FALSE /* auto reset */, FALSE /* not set */, nullptr);
    if (m_hTerminateEvent == nullptr) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in CreateEvent(). code:%u", dwError);
        pService->SetServiceStatus(SERVICE_STOPPED, dwError, 0);
        TRACE_LEAVE_ERROR();
        return;
    }

    pService->SetServiceStatus(SERVICE_START_PENDING, ERROR_SUCCESS, kStartPendingHint);
    DWORD dwStartResult = pService->BeforeMainLoop(m_hServiceStatus);
    if (dwStartResult == ERROR_SUCCESS) {
        pService->SetServiceStatus(SERVICE_RUNNING, ERROR_SUCCESS, 0);
        pService->MainLoop(dwArgc, lpszArgv);
    }
    pService->SetServiceStatus(SERVICE_STOP_PENDING, ERROR_SUCCESS, 0);
    pService->AfterMainLoop(m_hServiceStatus);
    CloseHandle(m_hTerminateEvent);
    m_hTerminateEvent = nullptr;
    TRACE(2, L"Exit ServiceMain()");
    // A start that failed says why in the service's exit code.
    pService->SetServiceStatus(SERVICE_STOPPED, dwStartResult, 0);
    TRACE_LEAVE_VOID();
}

DWORD CService::SetServiceStatus(DWORD dwCurrentState, DWORD dwWin32ExitCode, DWORD dwWaitHint)
{
    TRACE_ENTER(2);
    if (!m_bInitialized || m_hServiceStatus == nullptr) {
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    CStackLock lock(StatusLock());
    m_ServiceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    m_ServiceStatus.dwCurrentState = dwCurrentState;
    switch (dwCurrentState) {
    case SERVICE_START_PENDING:
    case SERVICE_STOP_PENDING:
    case SERVICE_CONTINUE_PENDING:
    case SERVICE_PAUSE_PENDING:
        m_ServiceStatus.dwControlsAccepted = 0;
        ++m_ServiceStatus.dwCheckPoint;
        break;
    default:
        m_ServiceStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN
            | SERVICE_ACCEPT_HARDWAREPROFILECHANGE | SERVICE_ACCEPT_POWEREVENT | SERVICE_ACCEPT_SESSIONCHANGE;
        m_ServiceStatus.dwCheckPoint = 0;
        break;
    }
    m_ServiceStatus.dwWin32ExitCode = dwWin32ExitCode;
    m_ServiceStatus.dwServiceSpecificExitCode = 0;
    m_ServiceStatus.dwWaitHint = dwWaitHint;
    DWORD dwResult = ERROR_SUCCESS;
    if (!::SetServiceStatus(m_hServiceStatus, &m_ServiceStatus)) {
        dwResult = GetLastError();
    }
    return TRACE_LEAVE(dwResult);
}

void CService::TerminateMainLoop()
{
    TRACE_ENTER(2);
    if (m_hTerminateEvent != nullptr) {
        // The control manager learns of the stop before the main loop starts ending.
        if (m_lpObj != nullptr && m_hServiceStatus != nullptr) {
            m_lpObj->SetServiceStatus(SERVICE_STOP_PENDING, ERROR_SUCCESS, 0);
        }
        SetEvent(m_hTerminateEvent);
    }
    TRACE_LEAVE_VOID();
}

DWORD WINAPI CService::ServiceHandler(DWORD dwControl, DWORD dwEventType, LPVOID lpEventData, LPVOID lpContext)
{
    TRACE_ENTER(2);
    CService* pService = static_cast<CService*>(lpContext);
    if (pService == nullptr) {
        TRACE(0, L"%s is NULL.", L"lpContext");
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    DWORD dwResult = ERROR_SUCCESS;
    switch (dwControl) {
    case SERVICE_CONTROL_STOP:
        TRACE(2, L"SERVICE_CONTROL_STOP");
        dwResult = pService->OnStop();
        break;
    case SERVICE_CONTROL_PAUSE:
        TRACE(2, L"SERVICE_CONTROL_PAUSE");
        dwResult = pService->OnPause();
        break;
    case SERVICE_CONTROL_CONTINUE:
        TRACE(2, L"SERVICE_CONTROL_CONTINUE");
        dwResult = pService->OnContinue();
        break;
    case SERVICE_CONTROL_INTERROGATE:
        TRACE(2, L"SERVICE_CONTROL_INTERROGATE");
        dwResult = pService->OnInterrogate();
        break;
    case SERVICE_CONTROL_SHUTDOWN:
        TRACE(2, L"SERVICE_CONTROL_SHUTDOWN");
        dwResult = pService->OnShutdown();
        break;
    case SERVICE_CONTROL_PARAMCHANGE:
        TRACE(2, L"SERVICE_CONTROL_PARAMCHANGE");
        dwResult = pService->OnParamChange();
        break;
    case SERVICE_CONTROL_NETBINDADD:
        TRACE(2, L"SERVICE_CONTROL_NETBINDADD");
        dwResult = pService->OnNetbindAdd();
        break;
    case SERVICE_CONTROL_NETBINDREMOVE:
        TRACE(2, L"SERVICE_CONTROL_NETBINDREMOVE");
        dwResult = pService->OnNetbindRemove();
        break;
    case SERVICE_CONTROL_NETBINDENABLE:
        TRACE(2, L"SERVICE_CONTROL_NETBINDENABLE");
        dwResult = pService->OnNetbindEnable();
        break;
    case SERVICE_CONTROL_NETBINDDISABLE:
        TRACE(2, L"SERVICE_CONTROL_NETBINDDISABLE");
        dwResult = pService->OnNetbindDisable();
        break;
    case SERVICE_CONTROL_DEVICEEVENT:
        TRACE(2, L"SERVICE_CONTROL_DEVICEEVENT");
        dwResult = pService->OnDeviceEvent(dwEventType, lpEventData);
        break;
    case SERVICE_CONTROL_HARDWAREPROFILECHANGE:
        TRACE(2, L"SERVICE_CONTROL_HARDWAREPROFILECHANGE");
        dwResult = pService->OnHardwareProfileChange(dwEventType, lpEventData);
        break;
    case SERVICE_CONTROL_POWEREVENT:
        TRACE(2, L"SERVICE_CONTROL_POWEREVENT");
        dwResult = pService->OnPowerEvent(dwEventType, lpEventData);
        break;
    case SERVICE_CONTROL_SESSIONCHANGE:
        TRACE(2, L"SERVICE_CONTROL_SESSIONCHANGE");
        dwResult = pService->OnSessionChange(dwEventType, lpEventData);
        break;
    case SERVICE_CONTROL_PRESHUTDOWN:
        TRACE(2, L"SERVICE_CONTROL_PRESHUTDOWN");
        dwResult = pService->OnPreShutdown();
        break;
    case SERVICE_CONTROL_TIMECHANGE:
        TRACE(2, L"SERVICE_CONTROL_TIMECHANGE");
        dwResult = pService->OnTimeChange();
        break;
    case SERVICE_CONTROL_TRIGGEREVENT:
        TRACE(2, L"SERVICE_CONTROL_TRIGGEREVENT");
        dwResult = pService->OnTriggerEvent();
        break;
    default:
        TRACE(2, L"Other Event:%08x", dwControl);
        dwResult = pService->OnUnknownEvent(dwControl, dwEventType);
        break;
    }

    // The current state is reported again (a pending state's check point advances);
    // under the lock, so that no report of the main thread slips in between.
    {
        CStackLock lock(StatusLock());
        pService->SetServiceStatus(m_ServiceStatus.dwCurrentState, ERROR_SUCCESS, m_ServiceStatus.dwWaitHint);
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CService::OnStop()
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnPause()
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnContinue()
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnInterrogate()
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnShutdown()
{
    TRACE_ENTER(2);
    TerminateMainLoop();
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnParamChange()
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnNetbindAdd()
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnNetbindRemove()
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnNetbindEnable()
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnNetbindDisable()
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnDeviceEvent(DWORD, LPVOID)
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnHardwareProfileChange(DWORD, LPVOID)
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnPowerEvent(DWORD, LPVOID)
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnSessionChange(DWORD, LPVOID)
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnUnknownEvent(DWORD, DWORD)
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnPreShutdown()
{
    TRACE_ENTER(2);
    TerminateMainLoop();
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnTimeChange()
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CService::OnTriggerEvent()
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CService::MainLoop(DWORD, LPWSTR*)
{
    TRACE_ENTER(2);
    DWORD dwWait = WaitForSingleObject(m_hTerminateEvent, INFINITE);
    if (dwWait == WAIT_OBJECT_0) {
        TRACE(2, L"Exit Service loop");
    } else {
        TRACE(2, L"unknown");
    }
    TRACE_LEAVE_VOID();
}

DWORD CService::BeforeMainLoop(SERVICE_STATUS_HANDLE)
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CService::AfterMainLoop(SERVICE_STATUS_HANDLE)
{
    TRACE_ENTER(2);
    TRACE_LEAVE_VOID();
}
