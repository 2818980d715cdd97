#include "SecurityAttributes.h"

#include <sddl.h>

namespace {

// Deny network logons; SYSTEM and Administrators: FILE_ALL_ACCESS; authenticated users:
// FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES (0x12018B), which leaves
// out FILE_APPEND_DATA, for a pipe the right to create instances.
const WCHAR kServicePipeSddl[] = L"D:P(D;;FA;;;NU)(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x12018b;;;AU)";

}  // namespace

DWORD CreateSecurityAttributes(LPSECURITY_ATTRIBUTES lpSa)
{
    if (lpSa == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    PSECURITY_DESCRIPTOR pSd = static_cast<PSECURITY_DESCRIPTOR>(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
    if (pSd == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (!InitializeSecurityDescriptor(pSd, SECURITY_DESCRIPTOR_REVISION)
        || !SetSecurityDescriptorDacl(pSd, TRUE /* present */, nullptr /* null DACL */, FALSE /* not defaulted */)) {
        DWORD dwError = GetLastError();
        LocalFree(pSd);
        return dwError;
    }
    lpSa->nLength = sizeof(SECURITY_ATTRIBUTES);
    lpSa->lpSecurityDescriptor = pSd;
    lpSa->bInheritHandle = FALSE;
    return ERROR_SUCCESS;
}

DWORD CreateServicePipeSecurityAttributes(LPSECURITY_ATTRIBUTES lpSa)
{
    if (lpSa == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    PSECURITY_DESCRIPTOR pSd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kServicePipeSddl, SDDL_REVISION_1, &pSd, nullptr)) {
        return GetLastError();
    }
    lpSa->nLength = sizeof(SECURITY_ATTRIBUTES);
    lpSa->lpSecurityDescriptor = pSd;
    lpSa->bInheritHandle = FALSE;
    return ERROR_SUCCESS;
}

void FreeSecurityAttributes(LPSECURITY_ATTRIBUTES lpSa)
{
    if (lpSa == nullptr) {
        return;
    }
    LocalFree(lpSa->lpSecurityDescriptor);
    lpSa->lpSecurityDescriptor = nullptr;
}
