// A known month of logs, totalized by the log library itself.
#include "LogMonthFixture.h"

#include <stdio.h>

#include <fstream>

#include "LogTestSupport.h"
#include "QuoViewer_Common.h"

namespace viewertest {

namespace {

const DWORD kMonWatt = 5000;
const DWORD kReductWatt = 2000;

DWORD PcWatt(WORD wDay)
{
    return (20 + wDay) * 1000;
}

}  // namespace

bool FixtureDayRuns(WORD wDay)
{
    return DayOfWeekOf(MakeDate(kFixtureYear, kFixtureMonth, wDay)) != 0;
}

int FixtureDayHours(WORD wDay)
{
    return FixtureDayRuns(wDay) ? 1 + wDay % 3 : 0;
}

double FixtureDayWh(WORD wDay)
{
    return FixtureDayHours(wDay) * 60.0 * (PcWatt(wDay) + kMonWatt) * kFixtureIntervalMs / 3600000.0 / 1000.0;
}

double FixtureDayQuoWh(WORD wDay)
{
    return FixtureDayHours(wDay) * 60.0 * kReductWatt * kFixtureIntervalMs / 3600000.0 / 1000.0;
}

std::wstring ProductLogDir()
{
    return testsupport::CommonAppDataFolder() + L"\\ZAV\\QUOViewer";
}

bool BuildFixtureMonth()
{
    const std::wstring dir = ProductLogDir();
    logtest::MakeFolders(dir);
    const WORD wLastDay = LastDayOfMonth(kFixtureYear, kFixtureMonth);
    for (WORD d = 1; d <= wLastDay; ++d) {
        if (!FixtureDayRuns(d)) {
            continue;
        }
        std::wstring text;
        for (int nMinute = 0; nMinute < FixtureDayHours(d) * 60; ++nMinute) {
            const WORD wHour = static_cast<WORD>(9 + nMinute / 60);
            logtest::RawSample sample;
            sample.pc = PcWatt(d);
            sample.mon = kMonWatt;
            sample.reduct = kReductWatt;
            sample.plan = (wHour == 9) ? L"バランス" : L"QUO";
            sample.battery = (d == 15) ? QUOLOG_BATTERY_DC : QUOLOG_BATTERY_AC;
            text += logtest::RawLine(logtest::MakeTime(kFixtureYear, kFixtureMonth, d, wHour, nMinute % 60), sample);
        }
        logtest::WriteUtf16File(logtest::Join(dir, L"QUOLogRaw" + logtest::DayName(MakeDate(kFixtureYear, kFixtureMonth, d)) + L".csv"), text);
    }
    // One sample after the month closes its last half hour; it stays in its own open slot.
    const SYSTEMTIME stNext = logtest::MakeTime(kFixtureYear, kFixtureMonth + 1, 1);
    logtest::RawSample sentinel;
    sentinel.pc = sentinel.mon = sentinel.reduct = 0;
    logtest::WriteUtf16File(logtest::Join(dir, L"QUOLogRaw" + logtest::DayName(stNext) + L".csv"),
                            logtest::RawLine(stNext, sentinel));
    // The read positions start at the month's first day; one run totals every day and
    // folds the finished ones into the yearly log.
    const char kState[] = "LastWriteDay=2012/03/01\r\nLastWriteLine=0\r\nLastWriteDay2=2012/03/01\r\n";
    if (!(std::ofstream(testsupport::Narrow(logtest::Join(dir, L"quolog.state")), std::ios::binary) << kState)) {
        fwprintf(stderr, L"cannot write quolog.state in %ls\n", dir.c_str());
        return false;
    }
    SYSTEMTIME stNow = stNext;
    stNow.wMinute = 30;
    wchar_t szNow[24];
    CQuoLogTime::FormatLongTime(stNow, szNow, ARRAYSIZE(szNow));
    const logtest::ToolRun run = logtest::RunQuolog(
        {L"totalize", L"--dir", dir, L"--interval", std::to_wstring(kFixtureIntervalMs), L"--two", L"--now", szNow});
    if (run.dwExitCode != 0) {
        fwprintf(stderr, L"quolog totalize: exit code %lu\n%hs", run.dwExitCode, run.err.c_str());
    }
    return run.dwExitCode == 0;
}

}  // namespace viewertest
