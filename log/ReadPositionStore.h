// Where the totalization keeps its read positions in the logs: "LastWriteDay" and
// "LastWriteLine" (how far the raw log has been totalized) and "LastWriteDay2" (the
// first day not yet folded into the yearly log). The library keeps them in its registry
// key; the administration tool keeps them in a file beside the logs it works on.
#pragma once

#include <windows.h>

class CReadPositionStore {
public:
    virtual ~CReadPositionStore() = default;

    // A stored text into lpBuf of cchBuf characters, always terminated. 0, 2 when it is
    // not stored, or another error; lpBuf is untouched on failure.
    virtual DWORD QueryString(LPCWSTR lpName, LPWSTR lpBuf, DWORD cchBuf) = 0;
    // A stored number; *lpValue untouched on failure.
    virtual DWORD QueryDword(LPCWSTR lpName, LPDWORD lpValue) = 0;
    // Store a value durably; 0 or the error.
    virtual DWORD SetString(LPCWSTR lpName, LPCWSTR lpValue) = 0;
    virtual DWORD SetDword(LPCWSTR lpName, DWORD dwValue) = 0;
};

// The positions as values of a registry key below HKEY_LOCAL_MACHINE.
class CRegistryPositionStore : public CReadPositionStore {
public:
    explicit CRegistryPositionStore(LPCWSTR lpKeyPath) : m_lpKeyPath(lpKeyPath) {}

    DWORD QueryString(LPCWSTR lpName, LPWSTR lpBuf, DWORD cchBuf) override;
    DWORD QueryDword(LPCWSTR lpName, LPDWORD lpValue) override;
    DWORD SetString(LPCWSTR lpName, LPCWSTR lpValue) override;
    DWORD SetDword(LPCWSTR lpName, DWORD dwValue) override;

private:
    LPCWSTR m_lpKeyPath;
};
