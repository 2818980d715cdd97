// The answer of a read question as the administration tool prints it, in UTF-8.
//
// csv:  "result,N", then every row as a line of a daily file (17 columns, the time as
//       the first two), then "total," followed by the total in the same 17 columns;
//       lines end with CR LF.
// json: {"result": N, "rows": [...], "total": {...}}, each record an object with the
//       field names of QuoLogRead and stTime as "YYYY/MM/DD hh:mm:ss.mmm".
#pragma once

#include <windows.h>

#include <string>

#include "QuoLog.h"

std::string ToUtf8(const std::wstring& text);

std::string FormatReadCsv(DWORD dwResult, const QuoLogRead* pRows, DWORD dwCount, const QuoLogRead& total);
std::string FormatReadJson(DWORD dwResult, const QuoLogRead* pRows, DWORD dwCount, const QuoLogRead& total);
