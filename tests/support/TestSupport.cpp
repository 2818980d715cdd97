#include "TestSupport.h"
#include "ScopedHandle.h"
#include "WineDifferences.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>

namespace {

std::map<std::wstring, TestChildFunc>& ChildRoles()
{
    static std::map<std::wstring, TestChildFunc> roles;
    return roles;
}

std::wstring QuoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring quoted = L"\"";
    size_t nBackslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++nBackslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(nBackslashes * 2 + 1, L'\\');
        } else {
            quoted.append(nBackslashes, L'\\');
        }
        nBackslashes = 0;
        quoted += c;
    }
    quoted.append(nBackslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

// This process's environment with the entries "NAME=value" of extra added (replacing
// those of the same name), as a block for CreateProcessW.
std::vector<wchar_t> EnvironmentBlock(const std::vector<std::wstring>& extra)
{
    std::vector<wchar_t> block;
    auto append = [&block](LPCWSTR lpEntry) { block.insert(block.end(), lpEntry, lpEntry + wcslen(lpEntry) + 1); };
    LPWCH lpStrings = GetEnvironmentStringsW();
    for (LPCWSTR p = lpStrings; p != nullptr && *p != L'\0'; p += wcslen(p) + 1) {
        if (std::none_of(extra.begin(), extra.end(), [p](const std::wstring& entry) {
                return _wcsnicmp(p, entry.c_str(), entry.find(L'=') + 1) == 0;
            })) {
            append(p);
        }
    }
    FreeEnvironmentStringsW(lpStrings);
    for (const auto& entry : extra) {
        append(entry.c_str());
    }
    block.push_back(L'\0');
    return block;
}

const wchar_t kTestRoot[] = L"Software\\ZAVTest";

}  // namespace

CTestChildRegistrar::CTestChildRegistrar(const wchar_t* lpName, TestChildFunc func)
{
    ChildRoles()[lpName] = func;
}

int RunRegisteredChild(const std::wstring& name, const std::vector<std::wstring>& args)
{
    auto it = ChildRoles().find(name);
    return (it == ChildRoles().end()) ? -1 : it->second(args);
}

namespace testsupport {

std::wstring ThisExePath()
{
    wchar_t szPath[MAX_PATH];
    DWORD cch = GetModuleFileNameW(nullptr, szPath, ARRAYSIZE(szPath));
    return std::wstring(szPath, cch);
}

CChildProcess::~CChildProcess()
{
    if (m_hProcess != nullptr) {
        Kill();
        CloseHandle(m_hProcess);
    }
}

bool CChildProcess::Start(const std::wstring& name, const std::vector<std::wstring>& args)
{
    std::vector<std::wstring> childArgs = {L"--child", name};
    childArgs.insert(childArgs.end(), args.begin(), args.end());
    return StartProgram(ThisExePath(), childArgs);
}

bool CChildProcess::StartProgram(const std::wstring& exe, const std::vector<std::wstring>& args,
                                 const std::vector<std::wstring>& env)
{
    std::wstring cmd = QuoteArgument(exe);
    for (const auto& arg : args) {
        cmd += L" " + QuoteArgument(arg);
    }
    std::vector<wchar_t> envBlock = EnvironmentBlock(env);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    for (int nTry = 1;; ++nTry) {
        if (CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE,
                           env.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT, env.empty() ? nullptr : envBlock.data(),
                           nullptr, &si, &pi)) {
            break;
        }
        DWORD dwError = GetLastError();
        if (dwError != winediff::TransientCreateProcessError() || nTry == 3) {
            fwprintf(stderr, L"CreateProcess(%ls) failed: %lu\n", exe.c_str(), dwError);
            return false;
        }
        Sleep(200);
    }
    CloseHandle(pi.hThread);
    m_hProcess = pi.hProcess;
    m_dwProcessId = pi.dwProcessId;
    return true;
}

DWORD CChildProcess::Wait(DWORD dwTimeoutMs)
{
    DWORD dwExitCode = 0xFFFFFFFF;
    if (m_hProcess != nullptr && WaitForSingleObject(m_hProcess, dwTimeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(m_hProcess, &dwExitCode);
    }
    return dwExitCode;
}

void CChildProcess::Kill()
{
    if (IsRunning()) {
        TerminateProcess(m_hProcess, 9);
        WaitForSingleObject(m_hProcess, 10000);
    }
}

CTestRegKey::CTestRegKey(const std::wstring& name) : m_path(std::wstring(kTestRoot) + L"\\" + UniqueName(name))
{
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hKey, nullptr);
}

CTestRegKey::~CTestRegKey()
{
    if (m_hKey != nullptr) {
        RegCloseKey(m_hKey);
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_path.c_str());
}

std::wstring CommonAppDataFolder()
{
    wchar_t szFolder[MAX_PATH] = L"";
    SHGetSpecialFolderPathW(nullptr, szFolder, CSIDL_COMMON_APPDATA, FALSE);
    return szFolder;
}

std::vector<unsigned char> ReadFileBytes(const std::wstring& path)
{
    // The programs open their files without sharing for a moment (the log library's
    // worker may be reading the file the test looks at): wait for them.
    CScopedFileHandle file;
    WaitUntil([&] {
        file.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
        return file.IsValid() || GetLastError() != ERROR_SHARING_VIOLATION;
    }, 2000);
    std::vector<unsigned char> bytes(file.IsValid() ? GetFileSize(file.Get(), nullptr) : 0);
    DWORD cbRead = 0;
    if (!bytes.empty()) {
        ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &cbRead, nullptr);
    }
    bytes.resize(cbRead);
    return bytes;
}

std::wstring ReadUtf16Text(const std::wstring& path)
{
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

std::vector<std::wstring> ReadUtf16Lines(const std::wstring& path)
{
    std::wstring text = ReadUtf16Text(path);
    std::vector<std::wstring> lines;
    for (size_t nPos = (!text.empty() && text[0] == L'\uFEFF') ? 1 : 0; nPos < text.size();) {
        size_t nEnd = std::min(text.find(L"\r\n", nPos), text.size());
        lines.push_back(text.substr(nPos, nEnd - nPos));
        nPos = nEnd + 2;
    }
    return lines;
}

std::vector<std::wstring> CsvCells(const std::wstring& line)
{
    std::vector<std::wstring> cells(1);
    bool bQuoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        wchar_t c = line[i];
        if (bQuoted && c == L'"' && i + 1 < line.size() && line[i + 1] == L'"') {
            cells.back() += L'"';
            ++i;
        } else if (c == L'"') {
            bQuoted = !bQuoted;
        } else if (c == L',' && !bQuoted) {
            cells.emplace_back();
        } else {
            cells.back() += c;
        }
    }
    return cells;
}

void DeleteFileIfExists(const std::wstring& path)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

bool WaitUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs, DWORD dwPollMs)
{
    for (ULONGLONG ullEnd = GetTickCount64() + dwTimeoutMs;; Sleep(dwPollMs)) {
        if (condition()) {
            return true;
        }
        if (GetTickCount64() >= ullEnd) {
            return false;
        }
    }
}

void ExpectResults(const std::vector<std::pair<DWORD, DWORD>>& results)
{
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].first, results[i].second) << "case " << i;
    }
}

bool SoakRun()
{
    wchar_t szValue[4] = L"";
    return GetEnvironmentVariableW(L"QUO_SOAK", szValue, ARRAYSIZE(szValue)) == 1 && szValue[0] == L'1';
}

std::wstring UniqueName(const std::wstring& prefix)
{
    static LONG s_lCounter = 0;
    wchar_t szName[128];
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    swprintf(szName, ARRAYSIZE(szName), L"%ls_%lu_%llx_%ld", prefix.c_str(), GetCurrentProcessId(),
             static_cast<unsigned long long>(counter.QuadPart), InterlockedIncrement(&s_lCounter));
    return szName;
}

std::string Narrow(const std::wstring& text)
{
    int cb = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(cb, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], cb, nullptr, nullptr);
    return out;
}

std::vector<std::wstring> NamesIn(const std::wstring& folder, const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW((folder + L"\\" + pattern).c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(fd.cFileName, L".") != 0 && wcscmp(fd.cFileName, L"..") != 0) {
                names.push_back(fd.cFileName);
            }
        } while (FindNextFileW(hFind, &fd));
        FindClose(hFind);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace testsupport
