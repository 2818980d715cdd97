// A known month of logs for the viewer's tests and benchmark: raw samples for March
// 2012 written into the product's log folder of a clean machine and totalized into
// daily and yearly logs by the log library itself (through quolog.exe), so that the
// viewer reads what the real library answers.
//
// Day d runs from 09:00 for 1 + d % 3 hours, one sample a minute (interval 60 s), at
// (20 + d) W PC and 5 W display power with 2 W saved; hour 9 on the plan "バランス", later
// hours on "QUO" (the reduction plan); on AC, but on battery on the 15th. The Sundays
// 4, 11, 18 and 25 have no log at all.
#pragma once

#include <windows.h>

#include <string>

namespace viewertest {

const WORD kFixtureYear = 2012;
const WORD kFixtureMonth = 3;
const DWORD kFixtureIntervalMs = 60000;

// Whether day d has any log, how many hours it runs, and its energies in Wh.
bool FixtureDayRuns(WORD wDay);
int FixtureDayHours(WORD wDay);
double FixtureDayWh(WORD wDay);      // PC and display
double FixtureDayQuoWh(WORD wDay);   // energy saved

// The product's log folder (below the common application data folder).
std::wstring ProductLogDir();

// Writes the month's raw logs into ProductLogDir() and has quolog.exe (beside this
// program) totalize them day by day; false with a message on stderr on failure.
bool BuildFixtureMonth();

}  // namespace viewertest
