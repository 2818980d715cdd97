#include "SimRegistry.h"

#include <ntstrsafe.h>

#define SIM_TAG ((ULONG)0x6D53765A) /* pool tag "ZvSm" */
#define SIM_KEY_PATH_CHARS 260

NTSTATUS SimOpenKey(PCWSTR lpSubKey, HANDLE* phKey)
{
    WCHAR szPath[SIM_KEY_PATH_CHARS];
    UNICODE_STRING path;
    OBJECT_ATTRIBUTES attributes;
    NTSTATUS status;

    *phKey = NULL;
    status = RtlStringCchCopyW(szPath, SIM_KEY_PATH_CHARS, SIM_REGISTRY_ROOT);
    if (NT_SUCCESS(status)) {
        status = RtlStringCchCatW(szPath, SIM_KEY_PATH_CHARS, lpSubKey);
    }
    if (!NT_SUCCESS(status)) {
        return status;
    }
    RtlInitUnicodeString(&path, szPath);
    InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    return ZwOpenKey(phKey, KEY_READ, &attributes);
}

/* Reads value lpName into a pool buffer; the caller frees it with ExFreePoolWithTag. */
static PKEY_VALUE_PARTIAL_INFORMATION QueryValue(HANDLE hKey, PCWSTR lpName)
{
    UNICODE_STRING name;
    PKEY_VALUE_PARTIAL_INFORMATION pInfo;
    ULONG cbInfo = 0;
    NTSTATUS status;

    if (hKey == NULL) {
        return NULL;
    }
    RtlInitUnicodeString(&name, lpName);
    status = ZwQueryValueKey(hKey, &name, KeyValuePartialInformation, NULL, 0, &cbInfo);
    if (status != STATUS_BUFFER_TOO_SMALL && status != STATUS_BUFFER_OVERFLOW) {
        return NULL;
    }
    pInfo = (PKEY_VALUE_PARTIAL_INFORMATION)ExAllocatePoolWithTag(PagedPool, cbInfo, SIM_TAG);
    if (pInfo == NULL) {
        return NULL;
    }
    status = ZwQueryValueKey(hKey, &name, KeyValuePartialInformation, pInfo, cbInfo, &cbInfo);
    if (!NT_SUCCESS(status)) {
        ExFreePoolWithTag(pInfo, SIM_TAG);
        return NULL;
    }
    return pInfo;
}

BOOLEAN SimQueryDword(HANDLE hKey, PCWSTR lpName, ULONG* pValue)
{
    PKEY_VALUE_PARTIAL_INFORMATION pInfo = QueryValue(hKey, lpName);
    BOOLEAN bRead = FALSE;

    if (pInfo == NULL) {
        return FALSE;
    }
    if (pInfo->Type == REG_DWORD && pInfo->DataLength == sizeof(ULONG)) {
        RtlCopyMemory(pValue, pInfo->Data, sizeof(ULONG));
        bRead = TRUE;
    }
    ExFreePoolWithTag(pInfo, SIM_TAG);
    return bRead;
}

ULONG SimQueryDwordOr(HANDLE hKey, PCWSTR lpName, ULONG dwDefault)
{
    ULONG dwValue = dwDefault;
    SimQueryDword(hKey, lpName, &dwValue);
    return dwValue;
}

BOOLEAN SimQueryString(HANDLE hKey, PCWSTR lpName, PWCHAR lpBuf, ULONG cchBuf)
{
    PKEY_VALUE_PARTIAL_INFORMATION pInfo = QueryValue(hKey, lpName);
    BOOLEAN bRead = FALSE;

    if (pInfo == NULL) {
        return FALSE;
    }
    if (pInfo->Type == REG_SZ && cchBuf > 0) {
        /* The stored string need not be terminated: copy at most its characters. */
        ULONG cchStored = pInfo->DataLength / sizeof(WCHAR);
        ULONG cchCopy = 0;
        const WCHAR* lpStored = (const WCHAR*)pInfo->Data;
        while (cchCopy < cchStored && cchCopy < cchBuf - 1 && lpStored[cchCopy] != L'\0') {
            lpBuf[cchCopy] = lpStored[cchCopy];
            cchCopy++;
        }
        lpBuf[cchCopy] = L'\0';
        bRead = TRUE;
    }
    ExFreePoolWithTag(pInfo, SIM_TAG);
    return bRead;
}
