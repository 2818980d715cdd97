#include "PipeCl.h"

#include <strsafe.h>

#include "Trace.h"

namespace {

const WCHAR kDataPipePrefix[] = L"\\\\.\\pipe\\datapipe_";
const WCHAR kCtrlPipePrefix[] = L"\\\\.\\pipe\\ctrlpipe_";

// ACKs of the service's data pipe that count as delivered.
bool IsAcceptedAck(DWORD dwAck)
{
    return dwAck == 0 || dwAck == 1;
}

}  // namespace

CPipeCl::CPipeCl() : m_dwClientHandle(0), m_lpOwnerFunc(nullptr), m_lpOwnerData(nullptr) {}

CPipeCl::~CPipeCl()
{
    Finalize(nullptr);
}

DWORD CPipeCl::Initialize(DWORD dwMode, LPCWSTR lpszSuffix, LPDWORD lpdwClientID, LPPIPE_EVENT_FUNC lpFunc,
                          LPVOID lpData, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (dwMode != kModeSendOnly && dwMode != kModeReceiveAndSend) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    if (lpszSuffix == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszSuffix);
    }
    if (lpdwClientID == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwClientID);
    }
    if (dwMode == kModeReceiveAndSend) {
        if (lpFunc == nullptr) {
            return TRACE_NULL_ARGUMENT(lpFunc);
        }
        if (lpData == nullptr) {
            return TRACE_NULL_ARGUMENT(lpData);
        }
    }
    *lpdwClientID = 0;
    if (m_DataPipe.IsInitialized()) {
        return TRACE_LEAVE(ERROR_PIPE_BUSY);
    }
    WCHAR szOwnPipe[MAX_PATH];
    WCHAR szDataPipe[MAX_PATH];
    WCHAR szCtrlPipe[MAX_PATH];
    if (FAILED(StringCchPrintfW(szOwnPipe, ARRAYSIZE(szOwnPipe), L"%s%s%08x", kDataPipePrefix, lpszSuffix,
                                GetCurrentProcessId()))
        || FAILED(StringCchPrintfW(szDataPipe, ARRAYSIZE(szDataPipe), L"%s%s", kDataPipePrefix, lpszSuffix))
        || FAILED(StringCchPrintfW(szCtrlPipe, ARRAYSIZE(szCtrlPipe), L"%s%s", kCtrlPipePrefix, lpszSuffix))) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }

    DWORD dwResult = ERROR_SUCCESS;
    if (dwMode == kModeReceiveAndSend) {
        // Stored before the own pipe listens: the service's first message may come at once.
        m_lpOwnerFunc = lpFunc;
        m_lpOwnerData = lpData;
        dwResult = CPipeRecv::Initialize(szOwnPipe, OnDataRecv, this);
    }
    if (dwResult == ERROR_SUCCESS) {
        dwResult = m_DataPipe.Initialize(CPipe::kModeSend, szDataPipe, nullptr, nullptr);
    }
    if (dwResult == ERROR_SUCCESS) {
        dwResult = m_CtrlPipe.Initialize(CPipe::kModeSend, szCtrlPipe, nullptr, nullptr);
    }
    DWORD dwAck = 0;
    if (dwResult == ERROR_SUCCESS) {
        dwResult = m_CtrlPipe.SendRequest(PIPEREQUEST_CONNECT, (dwMode == kModeReceiveAndSend) ? szOwnPipe : L"",
                                          0 /* unused */, &dwAck, hAbort);
    }
    if (dwResult != ERROR_SUCCESS) {
        Finalize(hAbort);
        return TRACE_LEAVE(dwResult);
    }
    TRACE(2, L"established each connections!");
    m_dwClientHandle = dwAck;
    *lpdwClientID = dwAck;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CPipeCl::OnDataRecv(LPVOID lpData, PipeEvent* pPipeEvent)
{
    TRACE_ENTER(2);
    if (lpData == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(lpData);
        return;
    }
    if (pPipeEvent == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(pPipeEvent);
        return;
    }
    CPipeCl* pThis = static_cast<CPipeCl*>(lpData);
    if (pPipeEvent->dwEvent == PIPEEVENT_VALIDATE) {
        // Only the service sends with client handle 0.
        if (pPipeEvent->dwClientHandle == 0) {
            pPipeEvent->dwResult = PIPEACK_ACCEPTED;
        } else {
            pPipeEvent->dwResult = PIPEACK_REJECTED;
            TRACE(0, L"Not Server:%d", pPipeEvent->dwClientHandle);
        }
        TRACE_LEAVE_VOID();
        return;
    }
    pPipeEvent->dwResult = 0;
    if (pThis->m_lpOwnerFunc != nullptr) {
        pThis->m_lpOwnerFunc(pThis->m_lpOwnerData, pPipeEvent);
    }
    TRACE_LEAVE_VOID();
}

DWORD CPipeCl::Send(LPCVOID lpBuf, DWORD nLen, LPDWORD lpdwRetCode, HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (lpBuf == nullptr) {
        return TRACE_NULL_ARGUMENT(lpBuf);
    }
    if (lpdwRetCode == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwRetCode);
    }
    *lpdwRetCode = 0;
    DWORD dwResult = m_DataPipe.SendFrame(m_dwClientHandle, lpBuf, nLen, lpdwRetCode, hAbort);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    if (!IsAcceptedAck(*lpdwRetCode)) {
        TRACE(0, L"Send Error:%d", *lpdwRetCode);
        return TRACE_LEAVE(ERROR_ACCESS_DENIED);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CPipeCl::Finalize(HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (m_dwClientHandle != 0 && m_CtrlPipe.IsInitialized()) {
        DWORD dwAck = 0;
        m_CtrlPipe.SendRequest(PIPEREQUEST_CLOSE, nullptr, m_dwClientHandle, &dwAck, hAbort);
    }
    m_CtrlPipe.Finalize(hAbort);
    CPipeRecv::Finalize(hAbort);
    m_DataPipe.Finalize(hAbort);
    m_dwClientHandle = 0;
    m_lpOwnerFunc = nullptr;
    m_lpOwnerData = nullptr;
    TRACE_LEAVE_VOID();
}
