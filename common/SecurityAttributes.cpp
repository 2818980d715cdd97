#include "SecurityAttributes.h"

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

void FreeSecurityAttributes(LPSECURITY_ATTRIBUTES lpSa)
{
    if (lpSa == nullptr) {
        return;
    }
    LocalFree(lpSa->lpSecurityDescriptor);
    lpSa->lpSecurityDescriptor = nullptr;
}
