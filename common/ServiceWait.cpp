#include "ServiceWait.h"

#include "ScopedHandle.h"
#include "Trace.h"

namespace {

const DWORD kPollMs = 500;

}  // namespace

DWORD WaitForService(LPCWSTR lpSvName, DWORD dwLimitMs)
{
    TRACE_ENTER(0);
    if (lpSvName == nullptr) {
        return TRACE_NULL_ARGUMENT(lpSvName);
    }
    CScopedScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!scm.IsValid()) {
        DWORD dwError = GetLastError();
        TRACE(1, L"Error in OpenSCManager(). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }
    CScopedScHandle service(OpenServiceW(scm.Get(), lpSvName, SERVICE_QUERY_STATUS));
    if (!service.IsValid()) {
        DWORD dwError = GetLastError();
        TRACE(1, L"WaitServiceThread -- Error in OpenService(). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }
    DWORD dwStart = GetTickCount();
    for (;;) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service.Get(), &status)) {
            DWORD dwError = GetLastError();
            TRACE(1, L"Error in QueryServiceStatus(). code:%u", dwError);
            return TRACE_LEAVE(dwError);
        }
        if (status.dwCurrentState == SERVICE_RUNNING) {
            TRACE(0, L"Service is running! (%s)", lpSvName);
            return TRACE_LEAVE(ERROR_SUCCESS);
        }
        DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwLimitMs != 0 && dwElapsed > dwLimitMs) {
            TRACE(1, L"Time-out.");
            return TRACE_LEAVE(ERROR_TIMEOUT);
        }
        TRACE(0, L"Waiting ... (%.1fsec).", dwElapsed / 1000.0);
        Sleep(kPollMs);
    }
}
