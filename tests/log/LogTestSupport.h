// Helpers of the log library's tests: a throwaway place for one library instance
// (folder, registry key, file lock, shared flags), UTF-16 log files and records.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "QuoLog.h"
#include "QuoLogEnv.h"
#include "TestSupport.h"

namespace logtest {

// A base folder below the common application data folder, a registry key, a file lock
// name and shared flags of its own; all removed at destruction.
class CLogTestPlace {
public:
    explicit CLogTestPlace(const std::wstring& name);
    ~CLogTestPlace();
    CLogTestPlace(const CLogTestPlace&) = delete;
    CLogTestPlace& operator=(const CLogTestPlace&) = delete;

    QuoLogEnvironment Env(BOOL bRunWorker = FALSE);
    const std::wstring& Base() const { return m_base; }
    // <base>\ZAV\QUOViewer, the default log directory.
    std::wstring LogDir() const { return m_base + L"\\ZAV\\QUOViewer"; }
    const std::wstring& RegPath() const { return m_reg.Path(); }
    testsupport::CTestRegKey& Reg() { return m_reg; }
    const std::wstring& LockName() const { return m_lockName; }

    volatile LONG lRecovery = 0;
    volatile LONG lWriter = 0;

private:
    std::wstring m_base;
    std::wstring m_lockName;
    testsupport::CTestRegKey m_reg;
};

SYSTEMTIME MakeTime(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0);

// A record with every field set from `seed`, status `status` and the given strings.
QuoLogData MakeRecord(DWORD status, DWORD seed = 1, const std::wstring& plan = L"Balanced",
                      const std::wstring& user = L"user");

// Writes a file: the byte-order mark (when bom), then text as UTF-16LE, then raw tail
// bytes (to make torn lines).
void WriteUtf16File(const std::wstring& path, const std::wstring& text, bool bom = true,
                    const std::vector<unsigned char>& tail = {});
// The text after the byte-order mark; bytes of an odd tail are dropped.
std::wstring ReadUtf16Text(const std::wstring& path);
// Whether the file starts with exactly one byte-order mark.
bool HasSingleBom(const std::wstring& path);

// A raw line for a time and status, in the library's format.
std::wstring RawLine(const SYSTEMTIME& st, DWORD status, DWORD interval = 1000);
// A totals line (daily or yearly) for a time.
std::wstring TotalsLine(const SYSTEMTIME& st);

// A value below HKEY_LOCAL_MACHINE\key: "" or 0xDEADBEEF when missing.
std::wstring RegString(const std::wstring& key, const wchar_t* name);
DWORD RegDword(const std::wstring& key, const wchar_t* name);

std::wstring Join(const std::wstring& folder, const std::wstring& name);
void MakeFolders(const std::wstring& path);

}  // namespace logtest
