/* Registry reading for the simulated drivers: each request reads the values a test
 * wrote below HKLM\Software\ZAVSim, so the simulated hardware can change at any time. */
#pragma once

#include <ntddk.h>

/* Root of the simulator's own key, as the kernel names it. */
#define SIM_REGISTRY_ROOT L"\\Registry\\Machine\\Software\\ZAVSim\\"

/* Opens SIM_REGISTRY_ROOT + lpSubKey for reading; the handle is closed with ZwClose. */
NTSTATUS SimOpenKey(PCWSTR lpSubKey, HANDLE* phKey);

/* Reads a REG_DWORD; FALSE (and *pValue untouched) when the key is NULL, or the value is
 * missing or of another type or size. */
BOOLEAN SimQueryDword(HANDLE hKey, PCWSTR lpName, ULONG* pValue);

/* As SimQueryDword, but the value's default when it cannot be read. */
ULONG SimQueryDwordOr(HANDLE hKey, PCWSTR lpName, ULONG dwDefault);

/* Reads a REG_SZ into lpBuf of cchBuf characters, truncated and always terminated;
 * FALSE (and lpBuf untouched) when it cannot be read. */
BOOLEAN SimQueryString(HANDLE hKey, PCWSTR lpName, PWCHAR lpBuf, ULONG cchBuf);
