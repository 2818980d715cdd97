// A worker thread with a start handshake, a terminate event and a thread message queue.
#pragma once

#include <windows.h>

typedef DWORD (*LPTHREAD_FUNC)(LPVOID lpData);

class CThread {
public:
    static const DWORD kStartTimeout = 5000;
    static const DWORD kTerminateTimeout = 5000;

    CThread();
    ~CThread();

    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Starts lpFunc(lpData) on a new thread and waits until it runs, its message queue
    // ready. 0; 87 for a null argument; 1247 when a thread is already running; 21 when
    // the thread did not signal its start within 5000 ms; else the system error.
    DWORD Initialize(LPTHREAD_FUNC lpFunc, LPVOID lpData);

    // Set when the thread is asked to end; the thread function polls or waits on it.
    HANDLE GetTerminateEvent() const { return m_hTerminateEvent; }

    DWORD GetThreadId() const { return m_dwThreadId; }

    // Posts a thread message. 0, 21 before the first start, else the system error.
    DWORD PostMsg(UINT uMsg, WPARAM wParam, LPARAM lParam);

    // Asks the thread to end and waits up to 5000 ms, then forces it to end.
    void Terminate();

    void Finalize();

private:
    static DWORD WINAPI ThreadProc(LPVOID lpParameter);

    HANDLE m_hThread;
    DWORD m_dwThreadId;
    HANDLE m_hStartEvent;
    HANDLE m_hTerminateEvent;
    LPTHREAD_FUNC lpFunc;
    LPVOID lpData;
};
