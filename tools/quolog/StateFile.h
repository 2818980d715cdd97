// The read positions of the totalization of one log folder, kept by the administration
// tool in the text file "quolog.state" in that folder instead of the registry.
//
// Format: ASCII text, one "Name=Value" per line, lines ended by CR LF (LF alone is
// read too); blank lines and lines starting with '#' are ignored. Exactly these three
// names, each once:
//   LastWriteDay=YYYY/MM/DD   the raw file in which the totalization goes on
//   LastWriteLine=N           the lines of that file already totalized (decimal)
//   LastWriteDay2=YYYY/MM/DD  the first day not yet folded into the yearly log
// The file is replaced as a whole at every change (written beside it, then renamed over
// it), so that it is always either the old or the new positions.
#pragma once

#include <windows.h>

#include <string>

#include "ReadPositionStore.h"

class CStateFile : public CReadPositionStore {
public:
    static constexpr WCHAR kFileName[] = L"quolog.state";

    explicit CStateFile(const std::wstring& folder);

    // Reads the file. A missing file is made anew with both days stNewStart's date and
    // line 0. 0, or an error with `error` (a message) set: the file cannot be read or
    // written, or it is not in the format above.
    DWORD Load(const SYSTEMTIME& stNewStart, std::string& error);

    const std::wstring& Path() const { return m_path; }

    DWORD QueryString(LPCWSTR lpName, LPWSTR lpBuf, DWORD cchBuf) override;
    DWORD QueryDword(LPCWSTR lpName, LPDWORD lpValue) override;
    DWORD SetString(LPCWSTR lpName, LPCWSTR lpValue) override;
    DWORD SetDword(LPCWSTR lpName, DWORD dwValue) override;

private:
    DWORD Parse(const std::string& text, std::string& error);
    DWORD Save();

    std::wstring m_path;
    std::wstring m_lastWriteDay;
    DWORD m_dwLastWriteLine;
    std::wstring m_lastWriteDay2;
};
