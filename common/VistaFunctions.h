// Functions of Windows Vista and later that the programs need, bound at run time: 64-bit
// Windows XP lacks them, and a program that imports one does not even load there. Each
// has an XP way of doing the same job, taken where the function is missing and also
// while the process emulates a Windows of the XP family (CWinVer::SetEmulatedVersion,
// QUO_EMULATE_WINVER), so that tests reach it.
#pragma once

#include <windows.h>

namespace vista {

// Milliseconds since the system started, without wrapping. On XP the 32-bit counter is
// extended by the wraps seen (ExtendTickCount). The way is chosen at the first call and
// kept for the process's life, so that all its readings compare.
ULONGLONG TickCount64();

// Extends the 32-bit reading dwTick by the wraps recorded in *pllState (the latest
// extended reading, 0 before the first), which it updates; safe for concurrent callers.
// A reading up to 24 days behind the latest one (a thread that read the counter just
// before another) is placed before it. Wraps are counted as long as the counter is read
// at least once every 24 days.
ULONGLONG ExtendTickCount(DWORD dwTick, volatile LONG64* pllState);

// Cancels the overlapped operation lpOverlapped that the calling thread started on
// hFile. XP cancels every operation of the calling thread on hFile (CancelIo): callers
// have no other one pending there.
void CancelOwnIo(HANDLE hFile, LPOVERLAPPED lpOverlapped);

// Whether two strings are equal ignoring case, one UTF-16 unit against the other, with
// no linguistic rules. XP compares the units upper-cased by the invariant locale.
bool EqualOrdinalIgnoreCase(LPCWSTR lpLeft, LPCWSTR lpRight);

// The path of an open file as the system resolved it, links followed, with its "\\?\"
// prefix, into lpBuf of cchBuf characters. False when the system cannot tell, which is
// always the case on XP: callers then look at the path's folders (PathHasReparsePoint).
bool FinalPathOf(HANDLE hFile, LPWSTR lpBuf, DWORD cchBuf);

// Whether lpFullPath (a full path such as C:\a\b.csv) or a folder on the way to it is a
// reparse point (a symbolic link, junction or mount point), that is, whether the path
// may lead elsewhere than it reads. The drive or share itself is not looked at; a path
// that does not fit MAX_PATH counts as leading elsewhere.
bool PathHasReparsePoint(LPCWSTR lpFullPath);

}  // namespace vista

// A lock that several readers may hold together, or one writer: a slim reader/writer
// lock from Vista on, a critical section on XP (readers then take turns). The way is
// chosen at construction. Not recursive; usable as a global object.
class CReadWriteLock {
public:
    CReadWriteLock();
    ~CReadWriteLock();

    CReadWriteLock(const CReadWriteLock&) = delete;
    CReadWriteLock& operator=(const CReadWriteLock&) = delete;

    void AcquireShared();
    void ReleaseShared();
    void AcquireExclusive();
    void ReleaseExclusive();

    // Whether readers may hold the lock together (false on the XP way).
    bool SharesReaders() const { return m_bSlim; }

private:
    bool m_bSlim;
    PVOID m_pSlimLock;  // a slim reader/writer lock is one pointer, zero when free
    CRITICAL_SECTION m_cs;
};
