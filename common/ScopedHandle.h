// Move-only owners of Win32 handles. A traits class says what "no handle" is and
// how one is released; releasing never disturbs GetLastError(), so an owner can go
// out of scope between a failing call and the line that reads its error.
#pragma once

#include <windows.h>

template <typename Traits>
class CScopedHandle {
public:
    using Handle = typename Traits::Handle;

    CScopedHandle() : m_h(Traits::Invalid()) {}
    explicit CScopedHandle(Handle h) : m_h(h) {}
    ~CScopedHandle() { Reset(); }

    CScopedHandle(const CScopedHandle&) = delete;
    CScopedHandle& operator=(const CScopedHandle&) = delete;

    CScopedHandle(CScopedHandle&& other) noexcept : m_h(other.Release()) {}
    CScopedHandle& operator=(CScopedHandle&& other) noexcept
    {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    bool IsValid() const { return m_h != Traits::Invalid(); }
    Handle Get() const { return m_h; }

    // Gives up ownership without closing.
    Handle Release()
    {
        Handle h = m_h;
        m_h = Traits::Invalid();
        return h;
    }

    // Closes the owned handle (if any) and takes h; the caller's last error survives.
    void Reset(Handle h = Traits::Invalid())
    {
        if (m_h != Traits::Invalid()) {
            DWORD dwLastError = GetLastError();
            Traits::Close(m_h);
            SetLastError(dwLastError);
        }
        m_h = h;
    }

private:
    Handle m_h;
};

// Events, threads, mutexes, processes: "no handle" is NULL.
struct CKernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};

// Files and pipes: "no handle" is INVALID_HANDLE_VALUE.
struct CFileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};

struct CRegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};

struct CScHandleTraits {
    using Handle = SC_HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseServiceHandle(h); }
};

struct CLocalMemTraits {
    using Handle = HLOCAL;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { LocalFree(h); }
};

using CScopedKernelHandle = CScopedHandle<CKernelHandleTraits>;
using CScopedFileHandle = CScopedHandle<CFileHandleTraits>;
using CScopedRegKey = CScopedHandle<CRegKeyTraits>;
using CScopedScHandle = CScopedHandle<CScHandleTraits>;
using CScopedLocalMem = CScopedHandle<CLocalMemTraits>;
