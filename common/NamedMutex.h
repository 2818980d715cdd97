// A Global\ named mutex shared by every process of the machine, with a wait time-out
// and an optional abort event. It is owned per thread, so it serialises the threads of
// one process as well as processes.
#pragma once

#include <windows.h>

class CNamedMutex {
public:
    CNamedMutex();
    ~CNamedMutex();

    CNamedMutex(const CNamedMutex&) = delete;
    CNamedMutex& operator=(const CNamedMutex&) = delete;

    // Creates or opens "Global\<lpName>", every backslash and dot of lpName turned into
    // "$". dwTimeout is the wait time-out of Lock in ms; 0 means INFINITE. Returns 0,
    // 87 for a null or over-long name, or the system error of the failed open.
    DWORD Initialize(LPCWSTR lpName, DWORD dwTimeout);

    // Waits for the mutex, or for the mutex or hAbort (may be null), up to the
    // time-out. 0 when acquired (also when abandoned), 995 when hAbort was set first,
    // 170 on time-out, 21 without a mutex, 1 for any other outcome.
    DWORD Lock(HANDLE hAbort);

    // 0, 21 without a mutex, or the system error of the release.
    DWORD Unlock();

    void Finalize();

    // The Global\ name made from lpName ("$" for backslashes and dots), into szName of
    // cchName characters. 0 or 87 when lpName is null or the result does not fit.
    static DWORD BuildName(LPCWSTR lpName, LPWSTR szName, size_t cchName);

private:
    HANDLE m_hMutex;
    DWORD m_dwTimeout;
};

// Holds a named mutex for the lifetime of a local object: made, it waits as Lock does;
// destroyed, it releases the mutex if the wait acquired it, so that every path out of
// the scope does.
class CNamedMutexLock {
public:
    CNamedMutexLock(CNamedMutex& mutex, HANDLE hAbort) : m_Mutex(mutex), m_dwResult(mutex.Lock(hAbort)) {}
    ~CNamedMutexLock()
    {
        if (m_dwResult == ERROR_SUCCESS) {
            m_Mutex.Unlock();
        }
    }

    CNamedMutexLock(const CNamedMutexLock&) = delete;
    CNamedMutexLock& operator=(const CNamedMutexLock&) = delete;

    // What Lock gave: 0 when the mutex is held.
    DWORD Result() const { return m_dwResult; }

private:
    CNamedMutex& m_Mutex;
    DWORD m_dwResult;
};
