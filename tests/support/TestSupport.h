// Helpers shared by the tests: child processes started from the test executable itself,
// throwaway registry keys, files (UTF-16 text, CSV cells), polling and Wine facts.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// A role that the test executable plays in a child process: `exe --child NAME args...`
// runs the function registered under NAME and exits with its result.
typedef int (*TestChildFunc)(const std::vector<std::wstring>& args);

class CTestChildRegistrar {
public:
    CTestChildRegistrar(const wchar_t* lpName, TestChildFunc func);
};

#define QUO_TEST_CHILD(name)                                                         \
    static int QuoTestChild_##name(const std::vector<std::wstring>& args);         \
    static CTestChildRegistrar g_quoTestChild_##name(L"" #name, QuoTestChild_##name); \
    static int QuoTestChild_##name([[maybe_unused]] const std::vector<std::wstring>& args)

// Runs a registered child role; -1 when there is no such role.
int RunRegisteredChild(const std::wstring& name, const std::vector<std::wstring>& args);

namespace testsupport {

std::wstring ThisExePath();

// A process a test starts: a role `name` of this test executable, or any program. It is
// killed at destruction if it still runs.
class CChildProcess {
public:
    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts the role; false (with the system error traced to stderr) on failure.
    bool Start(const std::wstring& name, const std::vector<std::wstring>& args = {});
    // Starts program exe with args, with the entries "NAME=value" of env added to this
    // process's environment; false (with the system error traced to stderr) on failure.
    bool StartProgram(const std::wstring& exe, const std::vector<std::wstring>& args,
                      const std::vector<std::wstring>& env = {});
    // Waits for its end; its exit code, or 0xFFFFFFFF when it did not end in time.
    DWORD Wait(DWORD dwTimeoutMs);
    bool IsRunning() const { return m_hProcess != nullptr && WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT; }
    // Ends it at once with exit code 9.
    void Kill();
    HANDLE Handle() const { return m_hProcess; }
    DWORD Id() const { return m_dwProcessId; }

private:
    HANDLE m_hProcess = nullptr;
    DWORD m_dwProcessId = 0;
};

// A registry key of its own below HKLM\Software\ZAVTest, deleted with everything below
// it at destruction. Path() is relative to HKEY_LOCAL_MACHINE.
class CTestRegKey {
public:
    explicit CTestRegKey(const std::wstring& name);
    ~CTestRegKey();
    CTestRegKey(const CTestRegKey&) = delete;
    CTestRegKey& operator=(const CTestRegKey&) = delete;

    const std::wstring& Path() const { return m_path; }
    HKEY Key() const { return m_hKey; }

    // Writes below Path(); sub may be empty or a relative path (created as needed).
    void SetDword(const std::wstring& sub, const std::wstring& name, DWORD value)
    {
        SetRaw(sub, name, REG_DWORD, &value, sizeof(value));
    }
    void SetString(const std::wstring& sub, const std::wstring& name, const std::wstring& value)
    {
        SetRaw(sub, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    void SetRaw(const std::wstring& sub, const std::wstring& name, DWORD type, const void* data, DWORD cb)
    {
        RegSetKeyValueW(m_hKey, sub.empty() ? nullptr : sub.c_str(), name.c_str(), type, data, cb);
    }

private:
    std::wstring m_path;
    HKEY m_hKey = nullptr;
};

// The common application data folder (C:\ProgramData under Wine).
std::wstring CommonAppDataFolder();

inline bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
std::vector<unsigned char> ReadFileBytes(const std::wstring& path);
// The UTF-16LE content of a file, byte-order mark included.
std::wstring ReadUtf16Text(const std::wstring& path);
// The UTF-16LE content of a file after its byte-order mark, split into lines at CR LF.
std::vector<std::wstring> ReadUtf16Lines(const std::wstring& path);
// The cells of one line of comma-separated values, quotes removed ("" inside quotes is
// one quote).
std::vector<std::wstring> CsvCells(const std::wstring& line);
void DeleteFileIfExists(const std::wstring& path);
// The sorted names in a folder that match a pattern, without "." and "..".
std::vector<std::wstring> NamesIn(const std::wstring& folder, const std::wstring& pattern = L"*");

// Asks condition every dwPollMs until it holds or dwTimeoutMs have passed; whether it
// held.
bool WaitUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs, DWORD dwPollMs = 10);

// Checks each pair {expected, result} in order; a failure names the pair's index. The
// results are computed in the order written (a braced list), so steps may depend on
// each other.
void ExpectResults(const std::vector<std::pair<DWORD, DWORD>>& results);

// Whether this is the long run of a load, fuzz or hammer test (QUO_SOAK=1, the soak
// label).
bool SoakRun();

// A name no other test process uses at the same time.
std::wstring UniqueName(const std::wstring& prefix);

std::string Narrow(const std::wstring& text);

}  // namespace testsupport
