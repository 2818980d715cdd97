// Reading the raw log as the service's tests see it: every record line of the
// QUOLogRaw*.csv files in the default log folder, oldest first, split into cells.
#pragma once

#include <string>
#include <vector>

namespace rawlog {

// Cells of one line, quotes removed.
typedef std::vector<std::wstring> Record;

// Columns of a raw line.
enum Column {
    COL_DATE, COL_TIME, COL_ELAPSED, COL_POWER_STATUS, COL_PC_WATT, COL_MON_WATT, COL_BATTERY_STATUS,
    COL_BATTERY_PERCENT, COL_BATTERY_CAPACITY, COL_REDUCTION_WATT, COL_POWER_PLAN, COL_CPU, COL_INPUT, COL_HDD,
    COL_SCR, COL_MONITOR_NAME1, COL_MONITOR_STATUS1, COL_LCD_LEVEL1, COL_MONITOR_NAME2, COL_MONITOR_STATUS2,
    COL_LCD_LEVEL2, COL_QUO_LEVEL, COL_USER_NAME, COLUMN_COUNT
};

std::vector<Record> ReadAll();

// The power status column of each record, as numbers.
std::vector<unsigned> PowerStatuses(const std::vector<Record>& records);

unsigned Number(const Record& record, Column column);

}  // namespace rawlog
