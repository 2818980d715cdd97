#include "Reg.h"

#include <memory>
#include <new>

#include <strsafe.h>

#include "Trace.h"

namespace {

// Makes lpBuf[0 .. cchData) end with dwTerminators NULs within cchBuf characters.
// Returns the characters then held (terminators included), or 0 when they do not fit.
DWORD TerminateString(LPWSTR lpBuf, DWORD cchData, DWORD cchBuf, DWORD dwTerminators)
{
    DWORD dwPresent = 0;
    while (dwPresent < dwTerminators && dwPresent < cchData && lpBuf[cchData - 1 - dwPresent] == L'\0') {
        ++dwPresent;
    }
    DWORD dwMissing = dwTerminators - dwPresent;
    if (cchData + dwMissing > cchBuf) {
        return 0;
    }
    for (DWORD i = 0; i < dwMissing; ++i) {
        lpBuf[cchData + i] = L'\0';
    }
    return cchData + dwMissing;
}

}  // namespace

CReg::CReg() : m_hRootKey(HKEY_LOCAL_MACHINE), m_hKey(nullptr) {}

CReg::~CReg()
{
    CloseKey();
}

DWORD CReg::OpenKey(LPCWSTR lpPath, REGSAM samDesired)
{
    if (lpPath == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    WCHAR szPath[kPathChars];
    if (FAILED(StringCchCopyW(szPath, ARRAYSIZE(szPath), lpPath))) {
        return ERROR_FUNCTION_FAILED;
    }

    // Components up to the first empty one; the last of them gets samDesired.
    LPWSTR components[kPathChars];
    size_t nComponents = 0;
    for (LPWSTR p = szPath; *p != L'\0' && *p != L'\\';) {
        components[nComponents++] = p;
        LPWSTR pEnd = wcschr(p, L'\\');
        if (pEnd == nullptr) {
            break;
        }
        *pEnd = L'\0';
        p = pEnd + 1;
    }
    if (nComponents == 0) {
        return ERROR_INVALID_PARAMETER;
    }

    HKEY hParent = BaseKey();
    HKEY hOpened = nullptr;
    for (size_t i = 0; i < nComponents; ++i) {
        REGSAM sam = (i + 1 == nComponents) ? samDesired : KEY_READ;
        HKEY hChild = nullptr;
        LONG lResult = RegOpenKeyExW(hParent, components[i], 0, sam, &hChild);
        if (hOpened != nullptr) {
            RegCloseKey(hOpened);
        }
        if (lResult != ERROR_SUCCESS) {
            return static_cast<DWORD>(lResult);
        }
        hOpened = hChild;
        hParent = hChild;
    }
    CloseKey();
    m_hKey = hOpened;
    return ERROR_SUCCESS;
}

DWORD CReg::CreateKey(LPCWSTR lpName, REGSAM samDesired)
{
    if (lpName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    HKEY hKey = nullptr;
    LONG lResult = RegCreateKeyExW(BaseKey(), lpName, 0, nullptr /* class */, REG_OPTION_NON_VOLATILE,
                                   samDesired, nullptr /* default security */, &hKey, nullptr);
    if (lResult != ERROR_SUCCESS) {
        return static_cast<DWORD>(lResult);
    }
    CloseKey();
    m_hKey = hKey;
    return ERROR_SUCCESS;
}

DWORD CReg::CloseKey()
{
    if (m_hKey == nullptr) {
        return ERROR_SUCCESS;
    }
    LONG lResult = RegCloseKey(m_hKey);
    if (lResult == ERROR_SUCCESS) {
        m_hKey = nullptr;
    }
    return static_cast<DWORD>(lResult);
}

DWORD CReg::DeleteKey(LPCWSTR lpName)
{
    if (lpName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return static_cast<DWORD>(RegDeleteKeyW(BaseKey(), lpName));
}

DWORD CReg::QueryValue(LPCWSTR lpName, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpName == nullptr || lpType == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return static_cast<DWORD>(RegQueryValueExW(BaseKey(), lpName, nullptr, lpType, lpData, lpcbData));
}

DWORD CReg::QueryDWORDValue(LPCWSTR lpName, LPDWORD lpValue)
{
    if (lpName == nullptr || lpValue == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    DWORD dwType = REG_NONE;
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    LONG lResult = RegQueryValueExW(BaseKey(), lpName, nullptr, &dwType, reinterpret_cast<LPBYTE>(&dwValue), &cbValue);
    if (lResult == ERROR_MORE_DATA) {
        return ERROR_INVALID_DATA;
    }
    if (lResult != ERROR_SUCCESS) {
        return static_cast<DWORD>(lResult);
    }
    if (dwType != REG_DWORD || cbValue != sizeof(dwValue)) {
        return ERROR_INVALID_DATA;
    }
    *lpValue = dwValue;
    return ERROR_SUCCESS;
}

DWORD CReg::QueryTypedString(LPCWSTR lpName, DWORD dwExpectedType, LPWSTR lpBuf, LPDWORD lpcch)
{
    if (lpName == nullptr || lpcch == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const DWORD dwTerminators = (dwExpectedType == REG_MULTI_SZ) ? 2 : 1;

    DWORD dwType = REG_NONE;
    DWORD cbData = 0;
    LONG lResult = RegQueryValueExW(BaseKey(), lpName, nullptr, &dwType, nullptr, &cbData);
    if (lResult != ERROR_SUCCESS) {
        *lpcch = cbData / sizeof(WCHAR);
        return static_cast<DWORD>(lResult);
    }
    if (dwType != dwExpectedType) {
        *lpcch = cbData / sizeof(WCHAR);
        return ERROR_INVALID_DATA;
    }

    // Without a buffer, the needed size depends on whether the stored value carries its
    // terminators: read it into a scratch buffer to count them.
    std::unique_ptr<WCHAR[]> scratch;
    DWORD cchBuf = *lpcch;
    if (lpBuf == nullptr) {
        cchBuf = cbData / sizeof(WCHAR) + dwTerminators;
        scratch.reset(new (std::nothrow) WCHAR[cchBuf]);
        if (!scratch) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    LPWSTR lpTarget = (lpBuf != nullptr) ? lpBuf : scratch.get();

    DWORD cbRead = cchBuf * sizeof(WCHAR);
    lResult = RegQueryValueExW(BaseKey(), lpName, nullptr, &dwType, reinterpret_cast<LPBYTE>(lpTarget), &cbRead);
    DWORD dwResult = static_cast<DWORD>(lResult);
    if (lResult == ERROR_SUCCESS) {
        if (dwType != dwExpectedType) {
            dwResult = ERROR_INVALID_DATA;
        } else {
            DWORD cchHeld = TerminateString(lpTarget, cbRead / sizeof(WCHAR), cchBuf, dwTerminators);
            if (cchHeld == 0) {
                dwResult = ERROR_MORE_DATA;
            } else {
                *lpcch = cchHeld;
            }
        }
    }
    return dwResult;
}

DWORD CReg::QueryStringValue(LPCWSTR lpName, LPWSTR lpBuf, LPDWORD lpcch)
{
    return QueryTypedString(lpName, REG_SZ, lpBuf, lpcch);
}

DWORD CReg::QueryMultiStringValue(LPCWSTR lpName, LPWSTR lpBuf, LPDWORD lpcch)
{
    return QueryTypedString(lpName, REG_MULTI_SZ, lpBuf, lpcch);
}

DWORD CReg::SetValue(LPCWSTR lpName, DWORD dwType, const BYTE* lpData, DWORD cbData)
{
    if (lpName == nullptr || lpData == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if ((dwType == REG_DWORD || dwType == REG_DWORD_BIG_ENDIAN) && cbData < sizeof(DWORD)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (dwType == REG_QWORD && cbData < sizeof(ULONGLONG)) {
        return ERROR_INVALID_PARAMETER;
    }
    return static_cast<DWORD>(RegSetValueExW(BaseKey(), lpName, 0, dwType, lpData, cbData));
}

DWORD CReg::SetDWORDValue(LPCWSTR lpName, DWORD dwValue)
{
    if (lpName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return SetValue(lpName, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
}

DWORD CReg::SetStringValue(LPCWSTR lpName, LPCWSTR lpValue, size_t cchMax)
{
    if (lpName == nullptr || lpValue == nullptr || cchMax == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    size_t cchValue = 0;
    if (FAILED(StringCchLengthW(lpValue, cchMax, &cchValue))) {
        return ERROR_INVALID_PARAMETER;
    }
    return SetValue(lpName, REG_SZ, reinterpret_cast<const BYTE*>(lpValue),
                    static_cast<DWORD>((cchValue + 1) * sizeof(WCHAR)));
}

DWORD CReg::EnumKey(DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, PFILETIME lpftLastWrite)
{
    if (lpName == nullptr || lpcchName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return static_cast<DWORD>(
        RegEnumKeyExW(BaseKey(), dwIndex, lpName, lpcchName, nullptr, nullptr, nullptr, lpftLastWrite));
}

DWORD CReg::EnumValue(DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData)
{
    if (lpName == nullptr || lpcchName == nullptr || lpType == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return static_cast<DWORD>(RegEnumValueW(BaseKey(), dwIndex, lpName, lpcchName, nullptr, lpType, lpData, lpcbData));
}

CRegEx::~CRegEx() = default;

DWORD CRegEx::FindSubKeyValue(LPCWSTR lpKeyString, LPCWSTR lpRootKey, LPCWSTR lpEntryName, LPDWORD lpValue)
{
    TRACE_ENTER(1);
    if (lpKeyString == nullptr) {
        return TRACE_NULL_ARGUMENT(lpKeyString);
    }
    if (lpRootKey == nullptr) {
        return TRACE_NULL_ARGUMENT(lpRootKey);
    }
    if (lpEntryName == nullptr) {
        return TRACE_NULL_ARGUMENT(lpEntryName);
    }
    if (lpValue == nullptr) {
        return TRACE_NULL_ARGUMENT(lpValue);
    }

    DWORD dwResult = OpenKey(lpRootKey, KEY_READ);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in OpenKey(lpRootKey). (code:%u)", dwResult);
        return TRACE_LEAVE(dwResult);
    }

    for (DWORD dwIndex = 0;; ++dwIndex) {
        WCHAR szSubkeyName[MAX_PATH];
        DWORD cchSubkeyName = ARRAYSIZE(szSubkeyName);
        dwResult = EnumKey(dwIndex, szSubkeyName, &cchSubkeyName, nullptr);
        if (dwResult == ERROR_NO_MORE_ITEMS) {
            TRACE(0, L"No more items.");
            break;
        }
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in EnumKey(). (code:%u)", dwResult);
            break;
        }
        if (wcsstr(lpKeyString, szSubkeyName) == nullptr) {
            continue;
        }
        TRACE(0, L"Hit! SubkeyName : %s", szSubkeyName);
        dwResult = OpenKey(szSubkeyName, KEY_READ);
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in OpenKey(szSubkeyName). (code:%u)", dwResult);
            break;
        }
        dwResult = QueryDWORDValue(lpEntryName, lpValue);
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in QueryDWORDValue(). (code:%u)", dwResult);
        }
        break;
    }
    CloseKey();
    return TRACE_LEAVE(dwResult);
}
