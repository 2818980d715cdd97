// Stand-in for the platform's power-profile library, which Wine does not implement
// (its PowerGetActiveScheme and PowerReadFriendlyName answer 120). Loaded instead of
// Wine's through a DLL override in the prefix (tools/sim-hw powrprof install).
//
// The power schemes live in HKLM\Software\ZAVSim\PowerSchemes, read at every call:
//   "Active"                REG_SZ  the active scheme's GUID, "{xxxxxxxx-...}"
//   <GUID>\"FriendlyName"   REG_SZ  the scheme's name
//   <GUID>\"Description"    REG_SZ  its description
//   <GUID>\"Index"          DWORD   its number for the functions of Windows XP
// A test switches the active plan by writing "Active".
#include <windows.h>
#include <powrprof.h>

#include <cwchar>

namespace {

const wchar_t kSchemesKey[] = L"Software\\ZAVSim\\PowerSchemes";
const size_t kGuidChars = 39;  // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" and the terminator
const size_t kTextChars = 260;

// Parses exactly "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (either case).
bool ParseGuid(const wchar_t* lpText, GUID* pGuid)
{
    static const char kPattern[] = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    unsigned char bytes[16] = {};
    size_t nDigits = 0;
    for (size_t i = 0; i < sizeof(kPattern); i++) {
        wchar_t c = lpText[i];
        if (kPattern[i] != 'x') {
            if (c != static_cast<wchar_t>(kPattern[i])) {
                return false;
            }
            continue;
        }
        unsigned value;
        if (c >= L'0' && c <= L'9') {
            value = c - L'0';
        } else if (c >= L'a' && c <= L'f') {
            value = c - L'a' + 10;
        } else if (c >= L'A' && c <= L'F') {
            value = c - L'A' + 10;
        } else {
            return false;
        }
        bytes[nDigits / 2] = static_cast<unsigned char>((bytes[nDigits / 2] << 4) | value);
        nDigits++;
    }
    pGuid->Data1 = (static_cast<DWORD>(bytes[0]) << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
    pGuid->Data2 = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
    pGuid->Data3 = static_cast<WORD>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; i++) {
        pGuid->Data4[i] = bytes[8 + i];
    }
    return true;
}

void FormatGuid(const GUID& guid, wchar_t (&szText)[kGuidChars])
{
    swprintf(szText, kGuidChars, L"{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
             static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
             guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
}

// The registry path of the schemes key (lpScheme NULL) or of one scheme's key.
void SchemeKeyPath(const wchar_t* lpScheme, wchar_t (&szKey)[ARRAYSIZE(kSchemesKey) + kGuidChars + 1])
{
    if (lpScheme == nullptr) {
        wcscpy(szKey, kSchemesKey);
    } else {
        swprintf(szKey, ARRAYSIZE(szKey), L"%ls\\%ls", kSchemesKey, lpScheme);
    }
}

// Reads a value of the type that dwFlags allows (RRF_RT_...) into pData of cbData
// bytes; the registry's error otherwise, 13 for a value of another type.
DWORD ReadValue(const wchar_t* lpScheme, const wchar_t* lpName, DWORD dwFlags, void* pData, DWORD cbData)
{
    wchar_t szKey[ARRAYSIZE(kSchemesKey) + kGuidChars + 1];
    SchemeKeyPath(lpScheme, szKey);
    LSTATUS lResult = RegGetValueW(HKEY_LOCAL_MACHINE, szKey, lpName, dwFlags, nullptr, pData, &cbData);
    return (lResult == ERROR_UNSUPPORTED_TYPE) ? ERROR_INVALID_DATA : static_cast<DWORD>(lResult);
}

DWORD ReadString(const wchar_t* lpScheme, const wchar_t* lpName, wchar_t (&szText)[kTextChars])
{
    return ReadValue(lpScheme, lpName, RRF_RT_REG_SZ, szText, sizeof(szText));
}

DWORD ReadActiveScheme(GUID* pGuid)
{
    wchar_t szText[kTextChars];
    DWORD dwResult = ReadString(nullptr, L"Active", szText);
    if (dwResult != ERROR_SUCCESS) {
        return dwResult;
    }
    return ParseGuid(szText, pGuid) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

DWORD ReadSchemeIndex(const wchar_t* lpScheme, UINT* puIndex)
{
    DWORD dwIndex = 0;
    DWORD dwResult = ReadValue(lpScheme, L"Index", RRF_RT_REG_DWORD, &dwIndex, sizeof(dwIndex));
    if (dwResult == ERROR_SUCCESS) {
        *puIndex = dwIndex;
    }
    return dwResult;
}

}  // namespace

// The active scheme's GUID in memory from LocalAlloc, which the caller frees with
// LocalFree. The root key is not used.
extern "C" DWORD WINAPI PowerGetActiveScheme(HKEY UserRootPowerKey, GUID** ActivePolicyGuid)
{
    (void)UserRootPowerKey;
    if (ActivePolicyGuid == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    GUID active;
    DWORD dwResult = ReadActiveScheme(&active);
    if (dwResult != ERROR_SUCCESS) {
        return dwResult;
    }
    GUID* pGuid = static_cast<GUID*>(LocalAlloc(LMEM_FIXED, sizeof(GUID)));
    if (pGuid == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    *pGuid = active;
    *ActivePolicyGuid = pGuid;
    return ERROR_SUCCESS;
}

// The friendly name of a scheme, terminator included. Without a buffer *BufferSize gets
// the bytes needed and the result is 0; a buffer that is too small gives 234 with the
// size needed. Only scheme names are known: naming a sub-group or a setting gives 120.
extern "C" DWORD WINAPI PowerReadFriendlyName(HKEY RootPowerKey, const GUID* SchemeGuid,
                                              const GUID* SubGroupOfPowerSettingsGuid, const GUID* PowerSettingGuid,
                                              PUCHAR Buffer, LPDWORD BufferSize)
{
    (void)RootPowerKey;
    if (SchemeGuid == nullptr || BufferSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (SubGroupOfPowerSettingsGuid != nullptr || PowerSettingGuid != nullptr) {
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    wchar_t szScheme[kGuidChars];
    FormatGuid(*SchemeGuid, szScheme);
    wchar_t szName[kTextChars];
    DWORD dwResult = ReadString(szScheme, L"FriendlyName", szName);
    if (dwResult != ERROR_SUCCESS) {
        return dwResult;
    }
    DWORD cbName = static_cast<DWORD>((wcslen(szName) + 1) * sizeof(wchar_t));
    if (Buffer == nullptr) {
        *BufferSize = cbName;
        return ERROR_SUCCESS;
    }
    if (*BufferSize < cbName) {
        *BufferSize = cbName;
        return ERROR_MORE_DATA;
    }
    memcpy(Buffer, szName, cbName);
    *BufferSize = cbName;
    return ERROR_SUCCESS;
}

// The active scheme's "Index"; FALSE with the last error set when it cannot be read.
extern "C" BOOLEAN WINAPI GetActivePwrScheme(PUINT puiID)
{
    if (puiID == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    GUID active;
    DWORD dwResult = ReadActiveScheme(&active);
    if (dwResult == ERROR_SUCCESS) {
        wchar_t szScheme[kGuidChars];
        FormatGuid(active, szScheme);
        dwResult = ReadSchemeIndex(szScheme, puiID);
    }
    if (dwResult != ERROR_SUCCESS) {
        SetLastError(dwResult);
        return FALSE;
    }
    return TRUE;
}

// Calls lpfn for every scheme with its index, name and description (sizes in bytes,
// terminators included) and a zeroed policy, until lpfn answers FALSE. Schemes without
// a readable index or name are skipped.
extern "C" BOOLEAN WINAPI EnumPwrSchemes(PWRSCHEMESENUMPROC lpfn, LPARAM lParam)
{
    if (lpfn == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HKEY hSchemes = nullptr;
    LSTATUS lResult = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSchemesKey, 0, KEY_READ, &hSchemes);
    if (lResult != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(lResult));
        return FALSE;
    }
    for (DWORD i = 0;; i++) {
        wchar_t szScheme[kGuidChars + 1];
        DWORD cchScheme = ARRAYSIZE(szScheme);
        lResult = RegEnumKeyExW(hSchemes, i, szScheme, &cchScheme, nullptr, nullptr, nullptr, nullptr);
        if (lResult == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (lResult != ERROR_SUCCESS) {
            continue;
        }
        UINT uIndex = 0;
        wchar_t szName[kTextChars], szDescription[kTextChars];
        if (ReadSchemeIndex(szScheme, &uIndex) != ERROR_SUCCESS ||
            ReadString(szScheme, L"FriendlyName", szName) != ERROR_SUCCESS) {
            continue;
        }
        if (ReadString(szScheme, L"Description", szDescription) != ERROR_SUCCESS) {
            szDescription[0] = L'\0';
        }
        POWER_POLICY policy = {};
        DWORD cbName = static_cast<DWORD>((wcslen(szName) + 1) * sizeof(wchar_t));
        DWORD cbDescription = static_cast<DWORD>((wcslen(szDescription) + 1) * sizeof(wchar_t));
        if (!lpfn(uIndex, cbName, szName, cbDescription, szDescription, &policy, lParam)) {
            break;
        }
    }
    RegCloseKey(hSchemes);
    return TRUE;
}
