// quolog: the log library's administration tool. It runs the library's own
// totalization on a folder of logs at a given moment, keeping the read positions in a
// state file in that folder, and answers the viewer's questions about such a folder.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "QuoLogCore.h"
#include "QuoLogEnv.h"
#include "ReadOutput.h"
#include "StateFile.h"
#include "TotalizeLog.h"

namespace {

// Exit codes.
const int kExitRan = 0;
const int kExitBadArguments = 1;
const int kExitFolderOrState = 2;
const int kExitWriterRunning = 3;
const int kExitLibrary = 4;

const DWORD kDefaultInterval = 5000;

const char kUsage[] =
    "Usage:\r\n"
    "  quolog totalize --dir DIR --now \"YYYY/MM/DD,hh:mm:ss.mmm\" [--interval MS] [--two]\r\n"
    "  quolog read day|week|month|year YYYY/MM/DD --dir DIR [--today YYYY/MM/DD] [--format csv|json]\r\n"
    "  quolog --help\r\n"
    "\r\n"
    "totalize  runs on the logs in DIR what the log library's worker runs at the moment\r\n"
    "          --now: the raw lines up to then go into half-hour lines of the daily logs.\r\n"
    "          With --two (the worker's path after a totalize request, and at 00:00), when\r\n"
    "          that gave 0, the finished days also go into the yearly logs and the oldest\r\n"
    "          raw files are dropped. The read positions are kept in DIR\\quolog.state\r\n"
    "          (a new one starts at the date of --now); the other settings come from the\r\n"
    "          registry as the library reads them. --interval: the sampling interval in\r\n"
    "          ms (default 5000). Refused while a writer of the log library is running.\r\n"
    "          Prints the result of each step.\r\n"
    "read      prints the answer of the viewer's question for a day (48 rows), week (7),\r\n"
    "          month (31) or year (12) as the library gives it, with today the local date\r\n"
    "          or --today. csv (default): \"result,N\", the rows as lines of a daily file,\r\n"
    "          then \"total,\" and the total; json: {\"result\", \"rows\", \"total\"}. UTF-8.\r\n"
    "\r\n"
    "Exit codes: 0 the command ran (whatever the library answered), 1 bad arguments,\r\n"
    "2 the folder or its state file cannot be used, 3 a writer of the log library is\r\n"
    "running, 4 the log library could not be opened on the folder.\r\n";

void WriteOut(DWORD dwStdHandle, const std::string& text)
{
    HANDLE hOut = GetStdHandle(dwStdHandle);
    DWORD cbWritten = 0;
    if (hOut != nullptr && hOut != INVALID_HANDLE_VALUE) {
        WriteFile(hOut, text.data(), static_cast<DWORD>(text.size()), &cbWritten, nullptr);
    }
}

int Fail(int nExitCode, const std::string& message)
{
    WriteOut(STD_ERROR_HANDLE, "quolog: " + message + "\r\n");
    if (nExitCode == kExitBadArguments) {
        WriteOut(STD_ERROR_HANDLE, "Try 'quolog --help'.\r\n");
    }
    return nExitCode;
}

bool IsDigitsAt(const std::wstring& text, size_t nFrom, size_t nCount)
{
    for (size_t i = nFrom; i < nFrom + nCount; ++i) {
        if (i >= text.size() || text[i] < L'0' || text[i] > L'9') {
            return false;
        }
    }
    return true;
}

// "YYYY/MM/DD" of a day that exists.
bool ParseDate(const std::wstring& text, SYSTEMTIME* lpDate)
{
    return text.size() == 10 && IsDigitsAt(text, 0, 4) && text[4] == L'/' && IsDigitsAt(text, 5, 2)
        && text[7] == L'/' && IsDigitsAt(text, 8, 2) && CQuoLog::ConvertStrToDate(text.c_str(), lpDate);
}

// "YYYY/MM/DD,hh:mm:ss.mmm" of a valid time.
bool ParseTime(const std::wstring& text, SYSTEMTIME* lpTime)
{
    return text.size() == 23 && ParseDate(text.substr(0, 10), lpTime) && text[10] == L','
        && IsDigitsAt(text, 11, 2) && text[13] == L':' && IsDigitsAt(text, 14, 2) && text[16] == L':'
        && IsDigitsAt(text, 17, 2) && text[19] == L'.' && IsDigitsAt(text, 20, 3)
        && CQuoLog::ConvertStrToSystime(text.c_str(), lpTime);
}

bool ParseInterval(const std::wstring& text, DWORD* lpdwInterval)
{
    if (text.empty() || text.size() > 10 || !IsDigitsAt(text, 0, text.size())) {
        return false;
    }
    unsigned long long ullValue = std::wcstoull(text.c_str(), nullptr, 10);
    if (ullValue == 0 || ullValue > 0xFFFFFFFFULL) {
        return false;
    }
    *lpdwInterval = static_cast<DWORD>(ullValue);
    return true;
}

// The named options of a command: "--name value" pairs and "--flag" switches.
struct Options {
    std::vector<std::wstring> positional;
    std::wstring dir, now, interval, today, format;
    bool bTwo = false;
    bool bDirGiven = false, bNowGiven = false, bIntervalGiven = false, bTodayGiven = false, bFormatGiven = false;
};

// Reads argv[nFirst..]; false with a message for an unknown or repeated option or a
// missing value.
bool ReadOptions(int argc, wchar_t** argv, int nFirst, const std::vector<std::wstring>& allowed, Options& options,
                 std::string& error)
{
    for (int i = nFirst; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg.compare(0, 2, L"--") != 0) {
            options.positional.push_back(arg);
            continue;
        }
        bool bAllowed = false;
        for (const std::wstring& name : allowed) {
            bAllowed = bAllowed || name == arg;
        }
        if (!bAllowed) {
            error = "unknown option " + ToUtf8(arg);
            return false;
        }
        if (arg == L"--two") {
            if (options.bTwo) {
                error = "--two given twice";
                return false;
            }
            options.bTwo = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = ToUtf8(arg) + " needs a value";
            return false;
        }
        std::wstring value = argv[++i];
        struct {
            const wchar_t* lpName;
            std::wstring* pValue;
            bool* pGiven;
        } const table[] = {{L"--dir", &options.dir, &options.bDirGiven},
                           {L"--now", &options.now, &options.bNowGiven},
                           {L"--interval", &options.interval, &options.bIntervalGiven},
                           {L"--today", &options.today, &options.bTodayGiven},
                           {L"--format", &options.format, &options.bFormatGiven}};
        for (const auto& entry : table) {
            if (arg == entry.lpName) {
                if (*entry.pGiven) {
                    error = ToUtf8(arg) + " given twice";
                    return false;
                }
                *entry.pGiven = true;
                *entry.pValue = value;
            }
        }
    }
    return true;
}

// The log folder as a full path, which must be an existing folder.
bool CheckFolder(const std::wstring& dir, std::wstring& full, std::string& error)
{
    WCHAR szFull[MAX_PATH];
    DWORD cch = GetFullPathNameW(dir.c_str(), ARRAYSIZE(szFull), szFull, nullptr);
    if (cch == 0 || cch >= ARRAYSIZE(szFull)) {
        error = "the folder name is too long or invalid: " + ToUtf8(dir);
        return false;
    }
    full = szFull;
    while (full.size() > 3 && full.back() == L'\\') {
        full.pop_back();
    }
    DWORD dwAttributes = GetFileAttributesW(full.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = "no such folder: " + ToUtf8(dir);
        return false;
    }
    return true;
}

QuoLogEnvironment FolderEnvironment(const std::wstring& folder, volatile LONG* lpRecovery, volatile LONG* lpWriter,
                                    CReadPositionStore* pPositions)
{
    QuoLogEnvironment env = {};
    env.lpRegKeyPath = REGKEY_PATH_QUOLOG;
    env.lpPksSourcePath = REGKEY_PATH_TANDORA_SOURCE;
    env.lpLockName = QUOLOG_FILE_LOCK_NAME;
    env.lpRecovery = lpRecovery;
    env.lpWriter = lpWriter;
    env.bRunWorker = FALSE;
    env.lpViewerKeyPath = REGKEY_PATH_QUOVIEWER;
    env.lpLogDir = folder.c_str();
    env.pPositionStore = pPositions;
    return env;
}

bool WriterIsRunning()
{
    HANDLE hMark = OpenEventW(SYNCHRONIZE, FALSE, QUOLOG_WRITER_MARK_NAME);
    if (hMark != nullptr) {
        CloseHandle(hMark);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;  // it exists, but is not ours to open
}

std::string StepResult(DWORD dwResult)
{
    return (dwResult == CQuoLog::kStepNotRun) ? "not run" : std::to_string(dwResult);
}

int Totalize(int argc, wchar_t** argv)
{
    Options options;
    std::string error;
    if (!ReadOptions(argc, argv, 2, {L"--dir", L"--now", L"--interval", L"--two"}, options, error)) {
        return Fail(kExitBadArguments, error);
    }
    if (!options.positional.empty()) {
        return Fail(kExitBadArguments, "unexpected argument " + ToUtf8(options.positional.front()));
    }
    if (!options.bDirGiven || !options.bNowGiven) {
        return Fail(kExitBadArguments, "totalize needs --dir and --now");
    }
    SYSTEMTIME stNow;
    if (!ParseTime(options.now, &stNow)) {
        return Fail(kExitBadArguments, "--now must be a valid time \"YYYY/MM/DD,hh:mm:ss.mmm\": " + ToUtf8(options.now));
    }
    DWORD dwInterval = kDefaultInterval;
    if (options.bIntervalGiven && !ParseInterval(options.interval, &dwInterval)) {
        return Fail(kExitBadArguments, "--interval must be a number of ms from 1 to 4294967295: "
                                           + ToUtf8(options.interval));
    }
    std::wstring folder;
    if (!CheckFolder(options.dir, folder, error)) {
        return Fail(kExitFolderOrState, error);
    }
    if (WriterIsRunning()) {
        return Fail(kExitWriterRunning, "a writer of the log library is running (the service?): stop it first");
    }
    CStateFile state(folder);
    if (state.Load(stNow, error) != ERROR_SUCCESS) {
        return Fail(kExitFolderOrState, ToUtf8(state.Path()) + ": " + error);
    }
    volatile LONG lRecovery = 0;
    volatile LONG lWriter = 0;
    CQuoLog quoLog(FolderEnvironment(folder, &lRecovery, &lWriter, &state));
    DWORD dwResult = quoLog.mQUOLogInitialize(QUOLOG_MODE_WRITER, dwInterval, FALSE, 0);
    if (dwResult != ERROR_SUCCESS) {
        return Fail(kExitLibrary, "cannot open the log library on " + ToUtf8(folder) + " (error "
                                      + std::to_string(dwResult) + ")");
    }
    // The peak-shift copy is only read, never deleted: it belongs to the product's
    // worker.
    BOOL bRefreshPks = options.bTwo && CQuoLog::IsTandoraInstalled(quoLog.GetEnvironment());
    CQuoLog::TotalizeResults results = quoLog.Totalize(stNow, nullptr, options.bTwo, bRefreshPks);
    quoLog.Finalize();
    std::string out = "TotalizeQuoLogOne: " + StepResult(results.dwOne) + "\r\n";
    if (options.bTwo) {
        out += "TotalizeQuoLogTwo: " + StepResult(results.dwTwo) + "\r\n";
    }
    WriteOut(STD_OUTPUT_HANDLE, out);
    return kExitRan;
}

int Read(int argc, wchar_t** argv)
{
    Options options;
    std::string error;
    if (!ReadOptions(argc, argv, 2, {L"--dir", L"--today", L"--format"}, options, error)) {
        return Fail(kExitBadArguments, error);
    }
    if (options.positional.size() != 2) {
        return Fail(kExitBadArguments, "read needs a kind (day, week, month or year) and a date");
    }
    const struct {
        const wchar_t* lpName;
        DWORD dwKind;
        DWORD dwRows;
    } kinds[] = {{L"day", QUOLOG_READ_DAY, QUOLOG_DAY_ROWS},
                 {L"week", QUOLOG_READ_WEEK, QUOLOG_WEEK_ROWS},
                 {L"month", QUOLOG_READ_MONTH, QUOLOG_MONTH_ROWS},
                 {L"year", QUOLOG_READ_YEAR, QUOLOG_YEAR_ROWS}};
    DWORD dwKind = 0;
    DWORD dwRows = 0;
    for (const auto& kind : kinds) {
        if (options.positional[0] == kind.lpName) {
            dwKind = kind.dwKind;
            dwRows = kind.dwRows;
        }
    }
    if (dwKind == 0) {
        return Fail(kExitBadArguments, "unknown kind " + ToUtf8(options.positional[0]) + " (day, week, month, year)");
    }
    SYSTEMTIME stDate;
    if (!ParseDate(options.positional[1], &stDate)) {
        return Fail(kExitBadArguments, "the date must be a valid YYYY/MM/DD: " + ToUtf8(options.positional[1]));
    }
    SYSTEMTIME stToday;
    GetLocalTime(&stToday);
    if (options.bTodayGiven && !ParseDate(options.today, &stToday)) {
        return Fail(kExitBadArguments, "--today must be a valid YYYY/MM/DD: " + ToUtf8(options.today));
    }
    bool bJson = false;
    if (options.bFormatGiven) {
        if (options.format != L"csv" && options.format != L"json") {
            return Fail(kExitBadArguments, "--format must be csv or json: " + ToUtf8(options.format));
        }
        bJson = options.format == L"json";
    }
    if (!options.bDirGiven) {
        return Fail(kExitBadArguments, "read needs --dir");
    }
    std::wstring folder;
    if (!CheckFolder(options.dir, folder, error)) {
        return Fail(kExitFolderOrState, error);
    }
    volatile LONG lRecovery = 0;
    volatile LONG lWriter = 0;
    CQuoLog quoLog(FolderEnvironment(folder, &lRecovery, &lWriter, nullptr));
    DWORD dwResult = quoLog.mQUOLogInitialize(QUOLOG_MODE_READER, 1000, FALSE, 0);
    if (dwResult != ERROR_SUCCESS) {
        return Fail(kExitLibrary, "cannot open the log library on " + ToUtf8(folder) + " (error "
                                      + std::to_string(dwResult) + ")");
    }
    std::vector<QuoLogRead> rows(dwRows);
    QuoLogRead total = {};
    dwResult = quoLog.ReadAt(dwKind, &stDate, rows.data(), dwRows, &total, stToday);
    quoLog.Finalize();
    WriteOut(STD_OUTPUT_HANDLE, bJson ? FormatReadJson(dwResult, rows.data(), dwRows, total)
                                      : FormatReadCsv(dwResult, rows.data(), dwRows, total));
    return kExitRan;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        return Fail(kExitBadArguments, "a command is needed: totalize or read");
    }
    std::wstring command = argv[1];
    if (command == L"--help" || command == L"-h" || command == L"help") {
        WriteOut(STD_OUTPUT_HANDLE, kUsage);
        return kExitRan;
    }
    if (command == L"totalize") {
        return Totalize(argc, argv);
    }
    if (command == L"read") {
        return Read(argc, argv);
    }
    return Fail(kExitBadArguments, "unknown command " + ToUtf8(command));
}
