#include "Thread.h"

#include "Trace.h"

CThread::CThread()
    : m_hThread(nullptr),
      m_dwThreadId(0),
      m_hStartEvent(nullptr),
      m_hTerminateEvent(nullptr),
      lpFunc(nullptr),
      lpData(nullptr)
{
}

CThread::~CThread()
{
    Finalize();
}

DWORD CThread::Initialize(LPTHREAD_FUNC lpFuncIn, LPVOID lpDataIn)
{
    TRACE_ENTER(2);
    if (lpFuncIn == nullptr) {
        return TRACE_NULL_ARGUMENT(lpFuncIn);
    }
    if (lpDataIn == nullptr) {
        return TRACE_NULL_ARGUMENT(lpDataIn);
    }
    if (m_hThread != nullptr) {
        TRACE(0, L"Thread is already running.");
        return TRACE_LEAVE(ERROR_ALREADY_INITIALIZED);
    }

    DWORD dwResult = ERROR_SUCCESS;
    m_hTerminateEvent = CreateEventW(nullptr, TRUE /* manual reset */, FALSE /* not set */, nullptr);
    if (m_hTerminateEvent == nullptr) {
        dwResult = GetLastError();
        TRACE(0, L"Error in CreateEvent(terminate). code:%u", dwResult);
        Finalize();
        return TRACE_LEAVE(dwResult);
    }
    m_hStartEvent = CreateEventW(nullptr, TRUE /* manual reset */, FALSE /* not set */, nullptr);
    if (m_hStartEvent == nullptr) {
        dwResult = GetLastError();
        TRACE(0, L"Error in CreateEvent(start). code:%u", dwResult);
        Finalize();
        return TRACE_LEAVE(dwResult);
    }
    lpFunc = lpFuncIn;
    lpData = lpDataIn;
    m_hThread = CreateThread(nullptr, 0 /* default stack */, ThreadProc, this, 0 /* run at once */, &m_dwThreadId);
    if (m_hThread == nullptr) {
        dwResult = GetLastError();
        TRACE(0, L"Error in CreateThread(). code:%u", dwResult);
        Finalize();
        return TRACE_LEAVE(dwResult);
    }

    TRACE(2, L"wait for thread starting.");
    DWORD dwWait = WaitForSingleObject(m_hStartEvent, kStartTimeout);
    if (dwWait == WAIT_FAILED) {
        dwResult = GetLastError();
    } else if (dwWait != WAIT_OBJECT_0) {
        dwResult = ERROR_NOT_READY;
    }
    CloseHandle(m_hStartEvent);
    m_hStartEvent = nullptr;
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Thread did not start. code:%u", dwResult);
        Finalize();
    }
    return TRACE_LEAVE(dwResult);
}

DWORD WINAPI CThread::ThreadProc(LPVOID lpParameter)
{
    TRACE_ENTER(2);
    CThread* pThis = static_cast<CThread*>(lpParameter);
    if (pThis == nullptr) {
        TRACE(0, L"Null!");
        return TRACE_LEAVE(0);
    }
    // The message queue exists before the start is signalled, so PostMsg works as soon
    // as Initialize has returned.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(pThis->m_hStartEvent);

    DWORD dwExitCode = (pThis->lpFunc != nullptr) ? pThis->lpFunc(pThis->lpData) : 0;
    TRACE(2, L"Exit thread.");
    return TRACE_LEAVE(dwExitCode);
}

DWORD CThread::PostMsg(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    TRACE_ENTER(2);
    if (m_dwThreadId == 0) {
        TRACE(0, L"%s is NULL.", L"m_dwThreadId");
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    if (!PostThreadMessageW(m_dwThreadId, uMsg, wParam, lParam)) {
        DWORD dwError = GetLastError();
        TRACE(0, L"Error in PostThreadMessage(). code:%u", dwError);
        return TRACE_LEAVE(dwError);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CThread::Terminate()
{
    TRACE_ENTER(2);
    if (m_hTerminateEvent != nullptr) {
        SetEvent(m_hTerminateEvent);
    }
    if (m_hThread != nullptr) {
        if (WaitForSingleObject(m_hThread, kTerminateTimeout) == WAIT_TIMEOUT) {
            TRACE(0, L" Timeout! Terminate thread.");
            TerminateThread(m_hThread, 0);
            // TerminateThread only starts the end; the object must outlive the thread.
            WaitForSingleObject(m_hThread, kTerminateTimeout);
        }
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    if (m_hTerminateEvent != nullptr) {
        CloseHandle(m_hTerminateEvent);
        m_hTerminateEvent = nullptr;
    }
    TRACE_LEAVE_VOID();
}

void CThread::Finalize()
{
    TRACE_ENTER(2);
    Terminate();
    if (m_hTerminateEvent != nullptr) {
        CloseHandle(m_hTerminateEvent);
        m_hTerminateEvent = nullptr;
    }
    if (m_hStartEvent != nullptr) {
        CloseHandle(m_hStartEvent);
        m_hStartEvent = nullptr;
    }
    TRACE_LEAVE_VOID();
}
