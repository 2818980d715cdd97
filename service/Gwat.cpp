#include "Gwat.h"

#include <new>

#include "Trace.h"

CGwat::CGwat() : m_pDrv(nullptr) {}

CGwat::~CGwat()
{
    Finalize();
}

DWORD CGwat::CreateDrvInstance(CDrvCtrl** ppDrv, BOOL bEmbedded)
{
    TRACE_ENTER(1);
    if (bEmbedded) {
        *ppDrv = new (std::nothrow) CEmbDrv();
    } else {
        *ppDrv = new (std::nothrow) CQuoDrv();
    }
    if (*ppDrv == nullptr) {
        TRACE(0, L"Error: Failed in allocating memory.");
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    DWORD dwResult = (*ppDrv)->Initialize();
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"(*pDrv)->Initialize() failed. code:%u", dwResult);
        delete *ppDrv;
        *ppDrv = nullptr;
        return TRACE_LEAVE(dwResult);
    }
    bool bSupported = false;
    dwResult = (*ppDrv)->GetDevSupportState(&bSupported);
    if (dwResult != ERROR_SUCCESS || !bSupported) {
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in (*pDrv)->GetDevSupportState(). code:%u", dwResult);
        } else {
            TRACE(0, L"GWAT function is not supported!");
        }
        (*ppDrv)->Finalize();
        delete *ppDrv;
        *ppDrv = nullptr;
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CGwat::Initialize(LPDWORD lpbNotebook)
{
    TRACE_ENTER(1);
    if (lpbNotebook == nullptr) {
        return TRACE_NULL_ARGUMENT(lpbNotebook);
    }
    if (m_pDrv != nullptr) {
        TRACE(1, L"Already Init");
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    DWORD dwResult = CreateDrvInstance(&m_pDrv, TRUE /* embedded controller */);
    if (dwResult == ERROR_SUCCESS) {
        *lpbNotebook = TRUE;
    } else {
        dwResult = CreateDrvInstance(&m_pDrv, FALSE /* power sensor */);
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in CreateDrvInstance(). code:%lu", dwResult);
            return TRACE_LEAVE(dwResult);
        }
        *lpbNotebook = FALSE;
    }
    TRACE(1, L"CGwat -- Initialized.");
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CGwat::Finalize()
{
    TRACE_ENTER(1);
    if (m_pDrv != nullptr) {
        m_pDrv->Finalize();
        delete m_pDrv;
        m_pDrv = nullptr;
        TRACE(1, L"CGwat -- Finalized.");
    }
    TRACE_LEAVE_VOID();
}

DWORD CGwat::Get(double* pdWatts)
{
    TRACE_ENTER(1);
    if (pdWatts == nullptr) {
        return TRACE_NULL_ARGUMENT(pdWatts);
    }
    if (m_pDrv == nullptr) {
        TRACE(0, L"m_pDrv is NULL.");
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    DWORD dwResult = m_pDrv->GetWattage(pdWatts);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_pDrv->GetWattage(). code:%u", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    TRACE(1, L"GWAT,%lf", *pdWatts);
    return TRACE_LEAVE(ERROR_SUCCESS);
}
