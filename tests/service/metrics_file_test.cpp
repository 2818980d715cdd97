// The service's metrics file: its text for normal and hostile values (each text is also
// saved for metrics-check.sh, which has promtool parse it), the setting that switches it
// on, the energy count and the 15 s rhythm, refusal of links, and the whole-file
// replacement a polling reader relies on. The folders come from metrics-check.sh
// (QUO_METRICS_FIXTURE): target\, linked -> target, filelink\quoviewer.prom -> a file in
// target, dirfile\quoviewer.prom\ (a folder), samples\.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "MetricsFile.h"
#include "TestSupport.h"
#include "WineDifferences.h"

using metrics::Sample;
using metrics::Snapshot;
using testsupport::NamesIn;

namespace {

const wchar_t kPlanBalanced[] = L"\u30D0\u30E9\u30F3\u30B9";
const char kPlanBalancedUtf8[] = "\xE3\x83\x90\xE3\x83\xA9\xE3\x83\xB3\xE3\x82\xB9";
const char kReplacement[] = "\xEF\xBF\xBD";

std::wstring Fixture()
{
    wchar_t sz[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"QUO_METRICS_FIXTURE", sz, ARRAYSIZE(sz));
    return sz;
}

std::string ReadText(const std::wstring& path)
{
    std::vector<unsigned char> bytes = testsupport::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Saves a text as samples\<name>.prom for promtool.
void SaveSample(const std::string& name, const std::string& text)
{
    EXPECT_EQ(0u, metrics::WriteWhole((Fixture() + L"\\samples").c_str(),
                                      (std::wstring(name.begin(), name.end()) + L".prom").c_str(), text))
        << name;
}

// Logging, with a sample read on mains power.
Snapshot MakeSnapshot(DWORD dwPCWatt, const wchar_t* lpPlan)
{
    Snapshot snapshot = {};
    snapshot.bLogging = snapshot.bHasSample = snapshot.sample.bWattRead = true;
    snapshot.sample.dwPCWatt = dwPCWatt;
    snapshot.sample.dwBatteryStatus = QUOLOG_BATTERY_AC;
    wcsncpy(snapshot.sample.szPowerPlan, lpPlan, ARRAYSIZE(snapshot.sample.szPowerPlan) - 1);
    return snapshot;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A plan name of every kind ends up as one line with its value escaped (promtool then
// finds no line that the name broke off).
TEST(MetricsFormat, PlanNamesBecomeOneEscapedUtf8Line)
{
    const struct {
        const char* lpName;
        std::wstring plan;
        std::string value;
    } kCases[] = {
        {"normal", kPlanBalanced, kPlanBalancedUtf8},
        {"empty", L"", ""},
        {"hostile", L"a\"b\\c\nd\\\"} 9\n#", "a\\\"b\\\\c\\nd\\\\\\\"} 9\\n#"},
        {"controls", std::wstring(L"x\r\ty") + L'\x7F', std::string("x") + kReplacement + kReplacement + "y" + kReplacement},
        {"surrogates", L"\xD83D\xDD0B|\xDC00|\xD800", std::string("\xF0\x9F\x94\x8B|") + kReplacement + "|" + kReplacement},
    };
    for (const auto& c : kCases) {
        std::string text;
        ASSERT_EQ(0u, metrics::Format(MakeSnapshot(40000, c.plan.c_str()), text)) << c.lpName;
        EXPECT_TRUE(Contains(text, "\nquoviewer_power_plan_info{plan=\"" + c.value + "\"} 1\n")) << c.lpName << "\n" << text;
        SaveSample(c.lpName, text);
    }
}

// Which families a file holds, and the values that take a conversion, from a sample of
// each kind (promtool checks every text's form).
TEST(MetricsFormat, FamiliesAndValuesFollowWhatIsKnown)
{
    Snapshot desktop = MakeSnapshot(100000, kPlanBalanced);
    desktop.sample.dwMonWatt = 2500;
    desktop.ullEnergyMwMs = 36000ULL * 3600000 + 1999;  // 36 Wh and 1.999 mJ
    desktop.ullLastSampleUnixMs = 1700000000123ULL;
    desktop.bHasToday = true;  // for promtool: the values are the next test's
    desktop.today = {38000, 1800, 1500};

    Snapshot failed = MakeSnapshot(23000, L"QUO");
    failed.sample.bWattRead = false;
    failed.sample.bBattery = true;
    failed.sample.dwBatteryStatus = QUOLOG_BATTERY_DC;
    failed.sample.dwBatteryPercent = 37;

    Snapshot loggingOff = {};
    loggingOff.ullEnergyMwMs = 999;

    Snapshot badCodes = MakeSnapshot(0, L"x");
    badCodes.sample.bBattery = true;
    badCodes.sample.dwBatteryStatus = 9;
    badCodes.sample.dwBatteryPercent = 255;

    const struct {
        const char* lpName;
        const Snapshot& snapshot;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    } kCases[] = {
        {"desktop",
         desktop,
         {"quoviewer_power_reading_success 1\n", "\nquoviewer_pc_power_watts 100.000\n",
          "\nquoviewer_display_power_watts 2.500\n", "\nquoviewer_power_source{source=\"ac\"} 1\n",
          "\nquoviewer_logging_enabled 1\n",
          "# TYPE quoviewer_energy_joules_total counter\nquoviewer_energy_joules_total 129600.001\n",
          "\nquoviewer_last_sample_timestamp_seconds 1700000000.123\n"},
         {"battery_charge_ratio"}},
        {"failed",
         failed,
         {"quoviewer_power_reading_success 0\n", "\nquoviewer_battery_charge_ratio 0.37\n",
          "\nquoviewer_power_source{source=\"battery\"} 1\n"},
         {"quoviewer_pc_power_watts", "quoviewer_last_sample"}},
        {"logging_off",
         loggingOff,
         {"quoviewer_logging_enabled 0\n", "\nquoviewer_energy_joules_total 0.000\n"},
         {"quoviewer_power", "quoviewer_pc", "quoviewer_display", "quoviewer_battery", "quoviewer_last_sample"}},
        {"bad_codes",
         badCodes,
         {"\nquoviewer_power_source{source=\"unknown\"} 1\n", "\nquoviewer_pc_power_watts 0.000\n"},
         {"battery_charge_ratio", "source=\"ac\"} 1"}},
    };
    for (const auto& c : kCases) {
        std::string text;
        ASSERT_EQ(0u, metrics::Format(c.snapshot, text)) << c.lpName;
        for (const std::string& part : c.present) {
            EXPECT_TRUE(Contains(text, part)) << c.lpName << ": no " << part << "\n" << text;
        }
        for (const std::string& part : c.absent) {
            EXPECT_FALSE(Contains(text, part)) << c.lpName << ": " << part << "\n" << text;
        }
        SaveSample(c.lpName, text);
    }
}

// Today's totals as the log's reader answers them (result and total set by the test).
DWORD g_dwReadResult = ERROR_SUCCESS;
QuoLogRead g_ReadTotal = {};
DWORD g_dwReadCalls = 0;

DWORD WINAPI FakeReadLog(DWORD dwKind, const SYSTEMTIME*, QuoLogRead*, DWORD dwCount, QuoLogRead* pStatistics)
{
    ++g_dwReadCalls;
    EXPECT_EQ(static_cast<DWORD>(QUOLOG_READ_DAY), dwKind);
    EXPECT_GE(dwCount, static_cast<DWORD>(QUOLOG_DAY_ROWS));
    *pStatistics = g_ReadTotal;
    return g_dwReadResult;
}

class MetricsFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(Fixture().empty()) << "run through metrics-check.sh";
        dir = Fixture() + L"\\target\\" + testsupport::UniqueName(L"m");
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
        path = dir + L"\\" + CMetricsFile::kFileName;
        g_dwReadResult = ERROR_SUCCESS;
        g_ReadTotal = QuoLogRead();
        g_dwReadCalls = 0;
    }

    // The value of the line that starts with name and a blank; "" when there is none.
    std::string Value(const char* lpName)
    {
        std::string text = ReadText(path);
        std::string key = std::string("\n") + lpName + " ";
        size_t nAt = text.find(key);
        return (nAt == std::string::npos) ? "" : text.substr(nAt + key.size(), text.find('\n', nAt + 1) - nAt - key.size());
    }

    testsupport::CTestRegKey key{testsupport::UniqueName(L"metrics")};
    std::wstring dir;
    std::wstring path;
    CMetricsFile file;
};

// Without a usable "MetricsDir" nothing is written, whatever the ticks bring.
TEST_F(MetricsFileTest, NoFileWithoutAUsableSetting)
{
    const struct {
        const wchar_t* lpValue;  // nullptr: no value
        DWORD dwType;
        DWORD dwResult;
    } kCases[] = {
        {nullptr, REG_SZ, ERROR_SUCCESS},
        {L"", REG_SZ, ERROR_SUCCESS},
        {L"metrics", REG_SZ, ERROR_BAD_PATHNAME},
        {L"\\\\?\\C:\\metrics", REG_SZ, ERROR_BAD_PATHNAME},
        {L"C:\\a\\..\\metrics", REG_SZ, ERROR_BAD_PATHNAME},
        {L"C:\\metrics", REG_EXPAND_SZ, ERROR_INVALID_DATA},
    };
    Sample sample = MakeSnapshot(40000, L"x").sample;
    for (const auto& c : kCases) {
        std::wstring label = c.lpValue ? c.lpValue : L"(none)";
        if (c.lpValue != nullptr) {
            key.SetRaw(L"", CMetricsFile::REGENTRY_METRICSDIR, c.dwType, c.lpValue,
                       static_cast<DWORD>((wcslen(c.lpValue) + 1) * sizeof(wchar_t)));
        }
        EXPECT_EQ(c.dwResult, file.Initialize(key.Path().c_str(), 1000, FakeReadLog)) << testsupport::Narrow(label);
        EXPECT_FALSE(file.IsEnabled()) << testsupport::Narrow(label);
        EXPECT_EQ(0u, file.OnTick(&sample, 0));
        EXPECT_EQ(0u, file.OnTick(nullptr, 20000));
    }
    EXPECT_EQ(0u, g_dwReadCalls);
    EXPECT_TRUE(NamesIn(dir).empty());
}

// The first tick writes, later ones only once 15 s have passed. Each sample counts for the
// time since the one before (a longer gap: one period; a failed reading: nothing). Today's
// totals appear when the log answers (2: none yet), not when it fails. Logging off keeps
// the count. The end removes the file.
TEST_F(MetricsFileTest, WritesEvery15sWithTheEnergyCountAndRemovesTheFileAtTheEnd)
{
    key.SetString(L"", CMetricsFile::REGENTRY_METRICSDIR, dir + L"\\\\");
    ASSERT_EQ(0u, file.Initialize(key.Path().c_str(), 1000, FakeReadLog));
    ASSERT_TRUE(file.IsEnabled());
    EXPECT_EQ(dir, file.GetDir());

    Sample sample = MakeSnapshot(36000, kPlanBalanced).sample;
    g_ReadTotal.ullPCEnergy = 30000;
    g_ReadTotal.ullMonEnergy = 1234;
    g_ReadTotal.ullReductEnergy = 5;
    EXPECT_EQ(0u, file.OnTick(&sample, 1000));
    EXPECT_EQ("36.000", Value("quoviewer_energy_joules_total"));
    EXPECT_EQ("112442.400", Value("quoviewer_today_energy_joules"));
    EXPECT_EQ("18.000", Value("quoviewer_today_reduction_energy_joules"));

    g_dwReadResult = ERROR_BUSY;
    for (DWORD dwTick = 2000; dwTick <= 15000; dwTick += 1000) {
        EXPECT_EQ(0u, file.OnTick(&sample, dwTick));
    }
    EXPECT_EQ("36.000", Value("quoviewer_energy_joules_total"));
    EXPECT_EQ(1u, g_dwReadCalls);
    EXPECT_EQ(0u, file.OnTick(&sample, 16000));
    EXPECT_EQ("576.000", Value("quoviewer_energy_joules_total"));
    EXPECT_EQ("", Value("quoviewer_today_energy_joules"));

    g_dwReadResult = ERROR_FILE_NOT_FOUND;
    g_ReadTotal = QuoLogRead();
    EXPECT_EQ(0u, file.OnTick(&sample, 40000));
    EXPECT_EQ("612.000", Value("quoviewer_energy_joules_total"));
    EXPECT_EQ("0.000", Value("quoviewer_today_energy_joules"));

    sample.bWattRead = false;
    EXPECT_EQ(0u, file.OnTick(&sample, 41000));
    EXPECT_EQ(0u, file.OnTick(nullptr, 56000));
    EXPECT_EQ("612.000", Value("quoviewer_energy_joules_total"));
    EXPECT_EQ("0", Value("quoviewer_logging_enabled"));
    EXPECT_EQ("", Value("quoviewer_power_reading_success"));
    EXPECT_NE("", Value("quoviewer_last_sample_timestamp_seconds"));
    EXPECT_EQ(std::vector<std::wstring>{CMetricsFile::kFileName}, NamesIn(dir));

    file.Finalize();
    EXPECT_TRUE(NamesIn(dir).empty());
    EXPECT_FALSE(file.IsEnabled());
}

// No write goes through a link or lands in a folder where the file should be; what the
// links point to stays as it was. (Where a link to a file is no reparse point, the rename
// replaces the link itself, which leaves its target alone just as well.)
TEST_F(MetricsFileTest, LinksAreRefused)
{
    const std::wstring target = Fixture() + L"\\target";
    const std::string before = ReadText(target + L"\\marker.prom");
    const struct {
        const wchar_t* lpDir;
        DWORD dwResult;
    } kCases[] = {
        {L"\\linked", metrics::kErrorLinkRefused},
        {L"\\linked\\sub", metrics::kErrorLinkRefused},
        {L"\\filelink", winediff::FileSymlinksAreReparsePoints() ? metrics::kErrorLinkRefused : 0},
        {L"\\dirfile", metrics::kErrorLinkRefused},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(c.dwResult, metrics::WriteWhole((Fixture() + c.lpDir).c_str(), CMetricsFile::kFileName, "x 1\n"))
            << testsupport::Narrow(c.lpDir);
    }
    DWORD dwMissing = metrics::WriteWhole((Fixture() + L"\\missing").c_str(), CMetricsFile::kFileName, "x 1\n");
    EXPECT_TRUE(dwMissing == ERROR_FILE_NOT_FOUND || dwMissing == ERROR_PATH_NOT_FOUND) << dwMissing;
    EXPECT_EQ(before, ReadText(target + L"\\marker.prom"));
    EXPECT_EQ(std::vector<std::wstring>{L"quoviewer.prom"}, NamesIn(Fixture() + L"\\filelink"));
    EXPECT_TRUE(NamesIn(target + L"\\sub").empty());
}

// A reader polling while the file is replaced again and again sees a whole old or a whole
// new text, never a part; a temporary file left over is cleared, none stays behind.
TEST_F(MetricsFileTest, APollingReaderNeverSeesAPartialFile)
{
    const std::string texts[] = {"quoviewer_logging_enabled 1\n",
                                 std::string(100000, '#') + "\nquoviewer_logging_enabled 0\n"};
    const int kWrites = 100;
    HANDLE hLeft = CreateFileW((path + L".tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hLeft);
    CloseHandle(hLeft);
    std::atomic<bool> done(false);
    std::vector<DWORD> results;
    std::thread writer([&] {
        for (int i = 0; i < kWrites; ++i) {
            results.push_back(metrics::WriteWhole(dir.c_str(), CMetricsFile::kFileName, texts[i % 2]));
        }
        done = true;
    });
    int nReads = 0;
    int nPartial = 0;
    std::vector<char> buffer(texts[1].size() + 1);
    for (; !done; Sleep(2)) {
        // As a reader that allows writing but not deleting: the rename must wait for it.
        HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   0, nullptr);
        if (hFile == INVALID_HANDLE_VALUE) {
            continue;
        }
        DWORD cbRead = 0;
        std::string text;
        while (ReadFile(hFile, buffer.data(), static_cast<DWORD>(buffer.size()), &cbRead, nullptr) && cbRead > 0) {
            text.append(buffer.data(), cbRead);
        }
        CloseHandle(hFile);
        ++nReads;
        nPartial += (text != texts[0] && text != texts[1]) ? 1 : 0;
    }
    writer.join();
    EXPECT_EQ(0, nPartial) << "of " << nReads << " reads";
    EXPECT_GT(nReads, 10);
    int nWritten = 0;
    for (DWORD dwResult : results) {
        EXPECT_TRUE(dwResult == 0 || dwResult == ERROR_SHARING_VIOLATION || dwResult == ERROR_ACCESS_DENIED) << dwResult;
        nWritten += (dwResult == 0) ? 1 : 0;
    }
    EXPECT_GT(nWritten, kWrites / 2);
    EXPECT_EQ(std::vector<std::wstring>{CMetricsFile::kFileName}, NamesIn(dir));
}

}  // namespace
