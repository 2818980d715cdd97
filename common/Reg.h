// Registry access below HKEY_LOCAL_MACHINE through one open key, in the native view.
// Every operation works on the key opened last (m_hKey) or, when none is open, on
// HKEY_LOCAL_MACHINE; results are Win32 error codes.
#pragma once

#include <windows.h>

class CReg {
public:
    static const size_t kPathChars = MAX_PATH;

    CReg();
    ~CReg();

    CReg(const CReg&) = delete;
    CReg& operator=(const CReg&) = delete;

    // Opens lpPath relative to the base key one component at a time: KEY_READ for every
    // component but the last, samDesired for the last. An empty component ends the
    // walk. On success the new key replaces m_hKey; on failure m_hKey is unchanged.
    // 87 for a null or empty path, 1627 for a path of 260 characters or more, else the
    // error of the first component that failed.
    DWORD OpenKey(LPCWSTR lpPath, REGSAM samDesired);

    // Creates or opens the sub-key lpName of the base key and makes it m_hKey.
    DWORD CreateKey(LPCWSTR lpName, REGSAM samDesired);

    // Closes m_hKey; 0 when nothing was open.
    DWORD CloseKey();

    // Deletes the sub-key lpName (without sub-keys of its own) of the base key.
    DWORD DeleteKey(LPCWSTR lpName);

    DWORD QueryValue(LPCWSTR lpName, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

    // Reads a REG_DWORD; 13 for another type. *lpValue is untouched on failure.
    DWORD QueryDWORDValue(LPCWSTR lpName, LPDWORD lpValue);

    // Reads a REG_SZ into lpBuf of *lpcch characters. With a null lpBuf, *lpcch gets
    // the size needed (terminator included). On success *lpcch is the characters read,
    // terminator included; the result is always terminated, also when the stored value
    // was not. 13 for another type, 234 when lpBuf is too small.
    DWORD QueryStringValue(LPCWSTR lpName, LPWSTR lpBuf, LPDWORD lpcch);

    // As QueryStringValue for a REG_MULTI_SZ; the result ends with two terminators.
    DWORD QueryMultiStringValue(LPCWSTR lpName, LPWSTR lpBuf, LPDWORD lpcch);

    // 87 for a null name or data, or a DWORD or QWORD of too few bytes.
    DWORD SetValue(LPCWSTR lpName, DWORD dwType, const BYTE* lpData, DWORD cbData);
    DWORD SetDWORDValue(LPCWSTR lpName, DWORD dwValue);

    // Writes lpValue, terminator included; 87 unless it ends within cchMax characters.
    DWORD SetStringValue(LPCWSTR lpName, LPCWSTR lpValue, size_t cchMax);

    // 259 past the last sub-key.
    DWORD EnumKey(DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, PFILETIME lpftLastWrite);
    DWORD EnumValue(DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpType,
                    LPBYTE lpData, LPDWORD lpcbData);

    HKEY GetKey() const { return m_hKey; }

protected:
    HKEY BaseKey() const { return (m_hKey != nullptr) ? m_hKey : m_hRootKey; }

private:
    DWORD QueryTypedString(LPCWSTR lpName, DWORD dwExpectedType, LPWSTR lpBuf, LPDWORD lpcch);

    HKEY m_hRootKey;
    HKEY m_hKey;
};

class CRegEx : public CReg {
public:
    virtual ~CRegEx();

    // Among the sub-keys of lpRootKey, finds the first whose name occurs inside
    // lpKeyString (case-sensitive) and reads its DWORD lpEntryName into *lpValue.
    // 0 only when a sub-key matched and its value was read; 259 when none matched.
    DWORD FindSubKeyValue(LPCWSTR lpKeyString, LPCWSTR lpRootKey, LPCWSTR lpEntryName, LPDWORD lpValue);
};
