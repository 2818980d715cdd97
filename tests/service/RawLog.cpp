#include "RawLog.h"

#include <windows.h>

#include <algorithm>

#include "TestSupport.h"

namespace rawlog {

namespace {

const wchar_t kLogFolder[] = L"\\ZAV\\QUOViewer";

Record SplitCsv(const std::wstring& line)
{
    Record cells(1);
    bool bQuoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        wchar_t c = line[i];
        if (bQuoted) {
            if (c == L'"' && i + 1 < line.size() && line[i + 1] == L'"') {
                cells.back() += L'"';
                ++i;
            } else if (c == L'"') {
                bQuoted = false;
            } else {
                cells.back() += c;
            }
        } else if (c == L'"') {
            bQuoted = true;
        } else if (c == L',') {
            cells.emplace_back();
        } else {
            cells.back() += c;
        }
    }
    return cells;
}

}  // namespace

std::vector<Record> ReadAll()
{
    std::wstring folder = testsupport::CommonAppDataFolder() + kLogFolder;
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE hFind = FindFirstFileW((folder + L"\\QUOLogRaw*.csv").c_str(), &data);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            names.push_back(data.cFileName);
        } while (FindNextFileW(hFind, &data));
        FindClose(hFind);
    }
    std::sort(names.begin(), names.end());
    std::vector<Record> records;
    for (const auto& name : names) {
        for (const auto& line : testsupport::ReadUtf16Lines(folder + L"\\" + name)) {
            if (!line.empty()) {
                records.push_back(SplitCsv(line));
            }
        }
    }
    return records;
}

std::vector<unsigned> PowerStatuses(const std::vector<Record>& records)
{
    std::vector<unsigned> statuses;
    for (const auto& record : records) {
        statuses.push_back(Number(record, COL_POWER_STATUS));
    }
    return statuses;
}

unsigned Number(const Record& record, Column column)
{
    return (static_cast<size_t>(column) < record.size()) ? wcstoul(record[column].c_str(), nullptr, 10) : 0xFFFFFFFF;
}

}  // namespace rawlog
