#include "PwrScheme.h"

#include <strsafe.h>

#include "Trace.h"

CPwrScheme::CPwrScheme() : m_uiActiveScheme(0), m_bFound(0), m_szPlanName() {}

CPwrScheme::~CPwrScheme() = default;

BOOLEAN CALLBACK CPwrScheme::PowSchemeEnumProc(UINT uiIndex, DWORD dwName, LPWSTR sName, DWORD, LPWSTR,
                                               PPOWER_POLICY, LPARAM lParam)
{
    TRACE_FUNCTION();
    CPwrScheme* pThis = reinterpret_cast<CPwrScheme*>(lParam);
    if (pThis == nullptr || sName == nullptr) {
        return FALSE;
    }
    if (uiIndex != pThis->m_uiActiveScheme) {
        return TRUE;
    }
    // The name's size is in bytes and need not include a terminator.
    size_t cchName = dwName / sizeof(WCHAR);
    HRESULT hr = StringCchCopyNW(pThis->m_szPlanName, ARRAYSIZE(pThis->m_szPlanName), sName, cchName);
    if (FAILED(hr)) {
        TRACE(0, L"Error in StringCchCopy(). (code:%ld)", hr);
        return FALSE;
    }
    pThis->m_bFound = 1;
    return TRUE;
}

DWORD CPwrScheme::GetActivePowPlanName(LPWSTR lpszPlanName, size_t cch)
{
    TRACE_ENTER(1);
    if (lpszPlanName == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszPlanName);
    }
    if (!GetActivePwrScheme(&m_uiActiveScheme)) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in GetActivePwrScheme(). (code:%u)", dwError);
        return TRACE_LEAVE(dwError);
    }
    m_bFound = 0;
    m_szPlanName[0] = L'\0';
    if (!EnumPwrSchemes(PowSchemeEnumProc, reinterpret_cast<LPARAM>(this))) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in EnumPwrSchemes(). (code:%u)", dwError);
        return TRACE_LEAVE(dwError);
    }
    if (!m_bFound) {
        TRACE(0, L"Active Power Scheme not found.");
        return TRACE_LEAVE(ERROR_NOT_FOUND);
    }
    if (FAILED(StringCchCopyW(lpszPlanName, cch, m_szPlanName))) {
        return TRACE_LEAVE(ERROR_CANNOT_COPY);
    }
    TRACE(1, L"ActivePowPlanName : %s", lpszPlanName);
    return TRACE_LEAVE(ERROR_SUCCESS);
}
