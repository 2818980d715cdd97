#include "StateFile.h"

#include <strsafe.h>

#include "QuoLogCore.h"
#include "QuoLogEnv.h"
#include "ScopedHandle.h"

namespace {

const DWORD kMaxFileBytes = 64 * 1024;

bool IsDigits(const std::string& text, size_t nFrom, size_t nCount)
{
    for (size_t i = nFrom; i < nFrom + nCount; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

// "YYYY/MM/DD" naming a day that exists.
bool IsDateText(const std::string& text)
{
    if (text.size() != 10 || !IsDigits(text, 0, 4) || text[4] != '/' || !IsDigits(text, 5, 2) || text[7] != '/'
        || !IsDigits(text, 8, 2)) {
        return false;
    }
    std::wstring wide(text.begin(), text.end());
    SYSTEMTIME st;
    return CQuoLog::ConvertStrToDate(wide.c_str(), &st) != FALSE;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());  // dates and numbers: ASCII only
}

}  // namespace

CStateFile::CStateFile(const std::wstring& folder)
    : m_path(folder + L"\\" + kFileName), m_dwLastWriteLine(0)
{
}

DWORD CStateFile::Load(const SYSTEMTIME& stNewStart, std::string& error)
{
    CScopedFileHandle file(CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        DWORD dwError = GetLastError();
        if (dwError != ERROR_FILE_NOT_FOUND) {
            error = "cannot read the state file (error " + std::to_string(dwError) + ")";
            return dwError;
        }
        WCHAR szDay[CQuoLog::kDateTextChars];
        CQuoLog::FormatDate(stNewStart, szDay, ARRAYSIZE(szDay));
        m_lastWriteDay = szDay;
        m_lastWriteDay2 = szDay;
        m_dwLastWriteLine = 0;
        dwError = Save();
        if (dwError != ERROR_SUCCESS) {
            error = "cannot write a new state file (error " + std::to_string(dwError) + ")";
        }
        return dwError;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxFileBytes) {
        error = "the state file is too large to be one";
        return ERROR_INVALID_DATA;
    }
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD cbRead = 0;
    if (!text.empty() && (!ReadFile(file.Get(), &text[0], static_cast<DWORD>(text.size()), &cbRead, nullptr)
                          || cbRead != text.size())) {
        DWORD dwError = GetLastError();
        error = "cannot read the state file (error " + std::to_string(dwError) + ")";
        return dwError != ERROR_SUCCESS ? dwError : ERROR_READ_FAULT;
    }
    return Parse(text, error);
}

DWORD CStateFile::Parse(const std::string& text, std::string& error)
{
    bool bDay = false;
    bool bLine = false;
    bool bDay2 = false;
    size_t nLine = 0;
    for (size_t nPos = 0; nPos < text.size();) {
        size_t nEnd = text.find('\n', nPos);
        std::string line = text.substr(nPos, (nEnd == std::string::npos) ? std::string::npos : nEnd - nPos);
        nPos = (nEnd == std::string::npos) ? text.size() : nEnd + 1;
        ++nLine;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::string where = "state file line " + std::to_string(nLine) + ": ";
        if (line.empty() || line[0] == '#') {
            continue;
        }
        size_t nEqual = line.find('=');
        if (nEqual == std::string::npos) {
            error = where + "expected Name=Value";
            return ERROR_INVALID_DATA;
        }
        std::string name = line.substr(0, nEqual);
        std::string value = line.substr(nEqual + 1);
        bool* pSeen = (name == "LastWriteDay") ? &bDay : (name == "LastWriteLine") ? &bLine
                    : (name == "LastWriteDay2") ? &bDay2 : nullptr;
        if (pSeen == nullptr) {
            error = where + "unknown name \"" + name + "\"";
            return ERROR_INVALID_DATA;
        }
        if (*pSeen) {
            error = where + name + " given twice";
            return ERROR_INVALID_DATA;
        }
        *pSeen = true;
        if (pSeen == &bLine) {
            if (value.empty() || value.size() > 10 || !IsDigits(value, 0, value.size())
                || std::stoull(value) > 0xFFFFFFFFULL) {
                error = where + "LastWriteLine must be a number of lines";
                return ERROR_INVALID_DATA;
            }
            m_dwLastWriteLine = static_cast<DWORD>(std::stoull(value));
            continue;
        }
        if (!IsDateText(value)) {
            error = where + name + " must be a date YYYY/MM/DD";
            return ERROR_INVALID_DATA;
        }
        (pSeen == &bDay ? m_lastWriteDay : m_lastWriteDay2) = std::wstring(value.begin(), value.end());
    }
    if (!bDay || !bLine || !bDay2) {
        error = "the state file lacks " + std::string(!bDay ? "LastWriteDay" : !bLine ? "LastWriteLine" : "LastWriteDay2");
        return ERROR_INVALID_DATA;
    }
    return ERROR_SUCCESS;
}

DWORD CStateFile::Save()
{
    std::string text = "# quolog read positions of this log folder\r\nLastWriteDay=" + Narrow(m_lastWriteDay)
        + "\r\nLastWriteLine=" + std::to_string(m_dwLastWriteLine) + "\r\nLastWriteDay2=" + Narrow(m_lastWriteDay2)
        + "\r\n";
    std::wstring temporary = m_path + L".new";
    {
        CScopedFileHandle file(
            CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsValid()) {
            return GetLastError();
        }
        DWORD cbWritten = 0;
        if (!WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &cbWritten, nullptr)
            || cbWritten != text.size() || !FlushFileBuffers(file.Get())) {
            DWORD dwError = GetLastError();
            file.Reset();
            DeleteFileW(temporary.c_str());
            return dwError != ERROR_SUCCESS ? dwError : ERROR_WRITE_FAULT;
        }
    }
    if (!MoveFileExW(temporary.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD dwError = GetLastError();
        DeleteFileW(temporary.c_str());
        return dwError;
    }
    return ERROR_SUCCESS;
}

DWORD CStateFile::QueryString(LPCWSTR lpName, LPWSTR lpBuf, DWORD cchBuf)
{
    const std::wstring* pValue = (wcscmp(lpName, REGENTRY_LASTWRITEDAY) == 0)    ? &m_lastWriteDay
                               : (wcscmp(lpName, REGENTRY_LASTWRITEDAY2) == 0) ? &m_lastWriteDay2
                                                                                : nullptr;
    if (pValue == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    return SUCCEEDED(StringCchCopyW(lpBuf, cchBuf, pValue->c_str())) ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER;
}

DWORD CStateFile::QueryDword(LPCWSTR lpName, LPDWORD lpValue)
{
    if (wcscmp(lpName, REGENTRY_LASTWRITELINE) != 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    *lpValue = m_dwLastWriteLine;
    return ERROR_SUCCESS;
}

DWORD CStateFile::SetString(LPCWSTR lpName, LPCWSTR lpValue)
{
    if (wcscmp(lpName, REGENTRY_LASTWRITEDAY) == 0) {
        m_lastWriteDay = lpValue;
    } else if (wcscmp(lpName, REGENTRY_LASTWRITEDAY2) == 0) {
        m_lastWriteDay2 = lpValue;
    } else {
        return ERROR_INVALID_PARAMETER;
    }
    return Save();
}

DWORD CStateFile::SetDword(LPCWSTR lpName, DWORD dwValue)
{
    if (wcscmp(lpName, REGENTRY_LASTWRITELINE) != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    m_dwLastWriteLine = dwValue;
    return Save();
}
