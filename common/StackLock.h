// Enters a critical section for the lifetime of a local object, so that every return
// path of a method leaves it.
#pragma once

#include <windows.h>

class CStackLock {
public:
    explicit CStackLock(LPCRITICAL_SECTION lpCs) : m_lpCs(lpCs) { EnterCriticalSection(m_lpCs); }
    virtual ~CStackLock() { LeaveCriticalSection(m_lpCs); }

    CStackLock(const CStackLock&) = delete;
    CStackLock& operator=(const CStackLock&) = delete;

private:
    LPCRITICAL_SECTION m_lpCs;
};
