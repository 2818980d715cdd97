#include "ReadPositionStore.h"

#include <strsafe.h>

#include "Reg.h"

namespace {

const size_t kValueChars = 64;  // every position is a short date or a number

}  // namespace

DWORD CRegistryPositionStore::QueryString(LPCWSTR lpName, LPWSTR lpBuf, DWORD cchBuf)
{
    CReg reg;
    DWORD dwResult = reg.OpenKey(m_lpKeyPath, KEY_READ);
    WCHAR szValue[kValueChars];
    DWORD cchValue = ARRAYSIZE(szValue);
    if (dwResult == ERROR_SUCCESS) {
        dwResult = reg.QueryStringValue(lpName, szValue, &cchValue);
    }
    if (dwResult == ERROR_SUCCESS && FAILED(StringCchCopyW(lpBuf, cchBuf, szValue))) {
        dwResult = ERROR_INSUFFICIENT_BUFFER;
    }
    return dwResult;
}

DWORD CRegistryPositionStore::QueryDword(LPCWSTR lpName, LPDWORD lpValue)
{
    CReg reg;
    DWORD dwResult = reg.OpenKey(m_lpKeyPath, KEY_READ);
    return (dwResult == ERROR_SUCCESS) ? reg.QueryDWORDValue(lpName, lpValue) : dwResult;
}

DWORD CRegistryPositionStore::SetString(LPCWSTR lpName, LPCWSTR lpValue)
{
    CReg reg;
    DWORD dwResult = reg.CreateKey(m_lpKeyPath, KEY_QUERY_VALUE | KEY_SET_VALUE);
    return (dwResult == ERROR_SUCCESS) ? reg.SetStringValue(lpName, lpValue, kValueChars) : dwResult;
}

DWORD CRegistryPositionStore::SetDword(LPCWSTR lpName, DWORD dwValue)
{
    CReg reg;
    DWORD dwResult = reg.CreateKey(m_lpKeyPath, KEY_QUERY_VALUE | KEY_SET_VALUE);
    return (dwResult == ERROR_SUCCESS) ? reg.SetDWORDValue(lpName, dwValue) : dwResult;
}
