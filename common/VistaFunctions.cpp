#include "VistaFunctions.h"

#include <strsafe.h>

#include "WinVer.h"

namespace {

// A function of kernel32 looked up at its first use; kernel32 is loaded in every process.
// Several threads may look it up at once: they all store the same address.
struct CLateBound {
    LPCSTR lpName;
    FARPROC volatile pfnAddress;
    volatile LONG lLookedUp;
};

CLateBound g_GetTickCount64 = {"GetTickCount64", nullptr, 0};
CLateBound g_CancelIoEx = {"CancelIoEx", nullptr, 0};
CLateBound g_CompareStringOrdinal = {"CompareStringOrdinal", nullptr, 0};
CLateBound g_GetFinalPathNameByHandleW = {"GetFinalPathNameByHandleW", nullptr, 0};
CLateBound g_AcquireSRWLockShared = {"AcquireSRWLockShared", nullptr, 0};
CLateBound g_ReleaseSRWLockShared = {"ReleaseSRWLockShared", nullptr, 0};
CLateBound g_AcquireSRWLockExclusive = {"AcquireSRWLockExclusive", nullptr, 0};
CLateBound g_ReleaseSRWLockExclusive = {"ReleaseSRWLockExclusive", nullptr, 0};

// The function's address as type T, null when the system lacks it.
template <typename T>
T LookedUp(CLateBound& function)
{
    if (!function.lLookedUp) {
        HMODULE hKernel = GetModuleHandleW(L"kernel32.dll");
        function.pfnAddress = (hKernel != nullptr) ? GetProcAddress(hKernel, function.lpName) : nullptr;
        InterlockedExchange(&function.lLookedUp, 1);
    }
    // Through the generic function type, which every function pointer converts to.
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(function.pfnAddress));
}

// The function's address as type T, or null when the system lacks it or the process
// emulates Windows XP.
template <typename T>
T Bound(CLateBound& function)
{
    T pfn = LookedUp<T>(function);
    return CWinVer::IsEmulatingXPFamily() ? nullptr : pfn;
}

typedef ULONGLONG(WINAPI* GetTickCount64Func)();
typedef BOOL(WINAPI* CancelIoExFunc)(HANDLE, LPOVERLAPPED);
typedef int(WINAPI* CompareStringOrdinalFunc)(LPCWCH, int, LPCWCH, int, BOOL);
typedef DWORD(WINAPI* GetFinalPathNameByHandleWFunc)(HANDLE, LPWSTR, DWORD, DWORD);
typedef VOID(WINAPI* SlimLockFunc)(PVOID*);

// GetFinalPathNameByHandleW's flags FILE_NAME_NORMALIZED | VOLUME_NAME_DOS (both 0):
// the normalized name with a drive letter.
const DWORD kFinalPathFlags = 0;

// How TickCount64 reads the clock, chosen at its first call.
enum : LONG { kTickUnchosen = 0, kTickNative = 1, kTickExtended = 2 };
volatile LONG g_lTickWay = kTickUnchosen;
volatile LONG64 g_llTickState = 0;

WCHAR UpperInvariant(WCHAR ch)
{
    WCHAR chUpper = ch;
    return (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &ch, 1, &chUpper, 1) == 1) ? chUpper : ch;
}

}  // namespace

namespace vista {

ULONGLONG ExtendTickCount(DWORD dwTick, volatile LONG64* pllState)
{
    for (;;) {
        LONG64 llLatest = *pllState;
        LONG lAhead = static_cast<LONG>(dwTick - static_cast<DWORD>(llLatest));
        // The first reading is taken as it is.
        LONG64 llNow = (llLatest == 0) ? static_cast<LONG64>(dwTick) : llLatest + lAhead;
        if (llNow <= llLatest || InterlockedCompareExchange64(pllState, llNow, llLatest) == llLatest) {
            return static_cast<ULONGLONG>(llNow);
        }
    }
}

ULONGLONG TickCount64()
{
    if (g_lTickWay == kTickUnchosen) {
        LONG lWay = (Bound<GetTickCount64Func>(g_GetTickCount64) != nullptr) ? kTickNative : kTickExtended;
        InterlockedCompareExchange(&g_lTickWay, lWay, kTickUnchosen);
    }
    if (g_lTickWay == kTickNative) {
        // Without the emulation test: the way is the process's for good.
        return LookedUp<GetTickCount64Func>(g_GetTickCount64)();
    }
    return ExtendTickCount(GetTickCount(), &g_llTickState);
}

void CancelOwnIo(HANDLE hFile, LPOVERLAPPED lpOverlapped)
{
    CancelIoExFunc pfnCancelIoEx = Bound<CancelIoExFunc>(g_CancelIoEx);
    if (pfnCancelIoEx != nullptr) {
        pfnCancelIoEx(hFile, lpOverlapped);
    } else {
        CancelIo(hFile);
    }
}

bool EqualOrdinalIgnoreCase(LPCWSTR lpLeft, LPCWSTR lpRight)
{
    CompareStringOrdinalFunc pfnCompare = Bound<CompareStringOrdinalFunc>(g_CompareStringOrdinal);
    if (pfnCompare != nullptr) {
        return pfnCompare(lpLeft, -1, lpRight, -1, TRUE /* ignore case */) == CSTR_EQUAL;
    }
    for (;; ++lpLeft, ++lpRight) {
        if (*lpLeft != *lpRight && UpperInvariant(*lpLeft) != UpperInvariant(*lpRight)) {
            return false;
        }
        if (*lpLeft == L'\0') {
            return true;
        }
    }
}

bool FinalPathOf(HANDLE hFile, LPWSTR lpBuf, DWORD cchBuf)
{
    GetFinalPathNameByHandleWFunc pfnFinalPath = Bound<GetFinalPathNameByHandleWFunc>(g_GetFinalPathNameByHandleW);
    if (pfnFinalPath == nullptr) {
        return false;
    }
    DWORD cchFinal = pfnFinalPath(hFile, lpBuf, cchBuf, kFinalPathFlags);
    return cchFinal != 0 && cchFinal < cchBuf;
}

bool PathHasReparsePoint(LPCWSTR lpFullPath)
{
    WCHAR szPart[MAX_PATH];
    if (FAILED(StringCchCopyW(szPart, ARRAYSIZE(szPart), lpFullPath))) {
        return true;
    }
    // The first folder begins after "C:\" or after "\\server\share\".
    size_t iFrom = 3;
    if (szPart[0] == L'\\' && szPart[1] == L'\\') {
        LPCWSTR lpServerEnd = wcschr(szPart + 2, L'\\');
        LPCWSTR lpShareEnd = (lpServerEnd != nullptr) ? wcschr(lpServerEnd + 1, L'\\') : nullptr;
        if (lpShareEnd == nullptr) {
            return false;
        }
        iFrom = static_cast<size_t>(lpShareEnd - szPart) + 1;
    }
    size_t cchPath = wcslen(szPart);
    for (size_t i = iFrom; i <= cchPath; ++i) {
        if (szPart[i] != L'\\' && szPart[i] != L'\0') {
            continue;
        }
        WCHAR chKept = szPart[i];
        szPart[i] = L'\0';
        DWORD dwAttributes = GetFileAttributesW(szPart);
        szPart[i] = chKept;
        if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return true;
        }
    }
    return false;
}

}  // namespace vista

namespace {

ULONGLONG WINAPI RuntimeTickCount64()
{
    return vista::TickCount64();
}

}  // namespace

// The static thread runtime linked into every program (winpthreads) calls GetTickCount64
// through its import pointer. Defined here, the pointer leads to TickCount64 instead, and
// no program imports the function that 64-bit Windows XP lacks.
extern "C" {
ULONGLONG(WINAPI* __imp_GetTickCount64)() = RuntimeTickCount64;
}

CReadWriteLock::CReadWriteLock()
    : m_bSlim(Bound<SlimLockFunc>(g_AcquireSRWLockShared) != nullptr
              && Bound<SlimLockFunc>(g_ReleaseSRWLockShared) != nullptr
              && Bound<SlimLockFunc>(g_AcquireSRWLockExclusive) != nullptr
              && Bound<SlimLockFunc>(g_ReleaseSRWLockExclusive) != nullptr),
      m_pSlimLock(nullptr),
      m_cs()
{
    if (!m_bSlim) {
        InitializeCriticalSection(&m_cs);
    }
}

CReadWriteLock::~CReadWriteLock()
{
    if (!m_bSlim) {
        DeleteCriticalSection(&m_cs);
    }
}

// The slim functions are called as looked up, without the emulation test: the way
// chosen at construction holds even if the emulated version changes later.

void CReadWriteLock::AcquireShared()
{
    if (m_bSlim) {
        LookedUp<SlimLockFunc>(g_AcquireSRWLockShared)(&m_pSlimLock);
    } else {
        EnterCriticalSection(&m_cs);
    }
}

void CReadWriteLock::ReleaseShared()
{
    if (m_bSlim) {
        LookedUp<SlimLockFunc>(g_ReleaseSRWLockShared)(&m_pSlimLock);
    } else {
        LeaveCriticalSection(&m_cs);
    }
}

void CReadWriteLock::AcquireExclusive()
{
    if (m_bSlim) {
        LookedUp<SlimLockFunc>(g_AcquireSRWLockExclusive)(&m_pSlimLock);
    } else {
        EnterCriticalSection(&m_cs);
    }
}

void CReadWriteLock::ReleaseExclusive()
{
    if (m_bSlim) {
        LookedUp<SlimLockFunc>(g_ReleaseSRWLockExclusive)(&m_pSlimLock);
    } else {
        LeaveCriticalSection(&m_cs);
    }
}
