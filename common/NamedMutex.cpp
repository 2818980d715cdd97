#include "NamedMutex.h"

#include <strsafe.h>

#include "SecurityAttributes.h"

namespace {

const WCHAR kGlobalPrefix[] = L"Global\\";
const size_t kGlobalPrefixLength = ARRAYSIZE(kGlobalPrefix) - 1;
const size_t kMutexNameChars = MAX_PATH;

}  // namespace

CNamedMutex::CNamedMutex() : m_hMutex(nullptr), m_dwTimeout(INFINITE) {}

CNamedMutex::~CNamedMutex()
{
    Finalize();
}

DWORD CNamedMutex::BuildName(LPCWSTR lpName, LPWSTR szName, size_t cchName)
{
    if (lpName == nullptr || szName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (FAILED(StringCchPrintfW(szName, cchName, L"%s%s", kGlobalPrefix, lpName))) {
        return ERROR_INVALID_PARAMETER;
    }
    for (LPWSTR p = szName + kGlobalPrefixLength; *p != L'\0'; ++p) {
        if (*p == L'\\' || *p == L'.') {
            *p = L'$';
        }
    }
    return ERROR_SUCCESS;
}

DWORD CNamedMutex::Initialize(LPCWSTR lpName, DWORD dwTimeout)
{
    WCHAR szName[kMutexNameChars];
    DWORD dwResult = BuildName(lpName, szName, ARRAYSIZE(szName));
    if (dwResult != ERROR_SUCCESS) {
        return dwResult;
    }

    SECURITY_ATTRIBUTES sa = {};
    dwResult = CreateSecurityAttributes(&sa);
    if (dwResult != ERROR_SUCCESS) {
        return dwResult;
    }
    HANDLE hMutex = CreateMutexW(&sa, FALSE /* not owned */, szName);
    if (hMutex == nullptr) {
        hMutex = OpenMutexW(SYNCHRONIZE, FALSE /* not inherited */, szName);
        if (hMutex == nullptr) {
            dwResult = GetLastError();
        }
    }
    FreeSecurityAttributes(&sa);
    if (hMutex == nullptr) {
        return dwResult;
    }

    Finalize();
    m_hMutex = hMutex;
    m_dwTimeout = (dwTimeout == 0) ? INFINITE : dwTimeout;
    return ERROR_SUCCESS;
}

DWORD CNamedMutex::Lock(HANDLE hAbort)
{
    if (m_hMutex == nullptr) {
        return ERROR_NOT_READY;
    }
    DWORD dwWait;
    if (hAbort == nullptr) {
        dwWait = WaitForSingleObject(m_hMutex, m_dwTimeout);
    } else {
        HANDLE handles[] = {m_hMutex, hAbort};
        dwWait = WaitForMultipleObjects(ARRAYSIZE(handles), handles, FALSE /* any */, m_dwTimeout);
    }
    switch (dwWait) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED_0:
        return ERROR_SUCCESS;
    case WAIT_OBJECT_0 + 1:
    case WAIT_ABANDONED_0 + 1:
        return ERROR_OPERATION_ABORTED;
    case WAIT_TIMEOUT:
        return ERROR_BUSY;
    default:
        return ERROR_INVALID_FUNCTION;
    }
}

DWORD CNamedMutex::Unlock()
{
    if (m_hMutex == nullptr) {
        return ERROR_NOT_READY;
    }
    if (!ReleaseMutex(m_hMutex)) {
        return GetLastError();
    }
    return ERROR_SUCCESS;
}

void CNamedMutex::Finalize()
{
    if (m_hMutex != nullptr) {
        CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
    m_dwTimeout = INFINITE;
}
