#include "Monitor.h"

#include "Trace.h"

namespace {

const WCHAR kLcdDevice[] = L"\\\\.\\LCD";

}  // namespace

CMonitor::CMonitor() : m_bInitialized(false), m_hLCD(nullptr) {}

CMonitor::~CMonitor()
{
    Finalize();
}

DWORD CMonitor::Initialize()
{
    TRACE_ENTER(1);
    if (m_bInitialized) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    HANDLE hLCD = CreateFileW(kLcdDevice, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (hLCD == INVALID_HANDLE_VALUE) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in CreateFile(). (code:%u)", dwError);
        return TRACE_LEAVE(dwError);
    }
    m_hLCD = hLCD;
    m_bInitialized = true;
    TRACE(1, L"CMonitor -- Initialized.");
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CMonitor::Finalize()
{
    TRACE_ENTER(1);
    if (m_hLCD != nullptr) {
        CloseHandle(m_hLCD);
        m_hLCD = nullptr;
    }
    m_bInitialized = false;
    TRACE_LEAVE_VOID();
}

DWORD CMonitor::GetPowerStatus(LPBOOL lpbOn)
{
    TRACE_ENTER(1);
    if (lpbOn == nullptr) {
        return TRACE_NULL_ARGUMENT(lpbOn);
    }
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    BOOL bOn = FALSE;
    if (!GetDevicePowerState(m_hLCD, &bOn)) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in GetDevicePowerState(). (code:%u)", dwError);
        return TRACE_LEAVE(dwError);
    }
    *lpbOn = bOn;
    TRACE(1, L"LCD Power : %s", bOn ? L"ON" : L"OFF");
    return TRACE_LEAVE(ERROR_SUCCESS);
}
