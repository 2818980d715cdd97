#include "ReadOutput.h"

#include <cstdio>

#include "TotalizeLog.h"

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty()) {
        return std::string();
    }
    int cb = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], cb, nullptr, nullptr);
    return out;
}

namespace {

std::string CsvLine(const QuoLogRead& record)
{
    WCHAR szLine[CTotalizeLog::kLineChars];
    if (!CTotalizeLog::FormatTotalLine(record, szLine, ARRAYSIZE(szLine))) {
        return "\r\n";
    }
    return ToUtf8(szLine);
}

std::string JsonString(const WCHAR* lpText)
{
    std::string out = "\"";
    for (char c : ToUtf8(lpText)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char sz[8];
            snprintf(sz, sizeof(sz), "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += sz;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonRecord(const QuoLogRead& r)
{
    char szTime[32];
    snprintf(szTime, sizeof(szTime), "%04u/%02u/%02u %02u:%02u:%02u.%03u", r.stTime.wYear, r.stTime.wMonth,
             r.stTime.wDay, r.stTime.wHour, r.stTime.wMinute, r.stTime.wSecond, r.stTime.wMilliseconds);
    auto number = [](const char* lpName, ULONGLONG ullValue) {
        return std::string(", \"") + lpName + "\": " + std::to_string(ullValue);
    };
    return std::string("{\"stTime\": \"") + szTime + "\"" + number("dwS0Time", r.dwS0Time)
        + number("dwS3S4Time", r.dwS3S4Time) + number("dwS5Time", r.dwS5Time) + number("ullPCEnergy", r.ullPCEnergy)
        + number("ullMonEnergy", r.ullMonEnergy) + number("dwACTime", r.dwACTime) + number("dwDCTime", r.dwDCTime)
        + number("dwChargeTime", r.dwChargeTime) + ", \"szPowerPlan1\": " + JsonString(r.szPowerPlan1)
        + number("dwPowerPlan1Time", r.dwPowerPlan1Time) + ", \"szPowerPlan2\": " + JsonString(r.szPowerPlan2)
        + number("dwPowerPlan2Time", r.dwPowerPlan2Time) + number("ullIdleEnergy", r.ullIdleEnergy)
        + number("ullReductPlanTime", r.ullReductPlanTime) + number("ullReductEnergy", r.ullReductEnergy) + "}";
}

}  // namespace

std::string FormatReadCsv(DWORD dwResult, const QuoLogRead* pRows, DWORD dwCount, const QuoLogRead& total)
{
    std::string out = "result," + std::to_string(dwResult) + "\r\n";
    for (DWORD i = 0; i < dwCount; ++i) {
        out += CsvLine(pRows[i]);
    }
    return out + "total," + CsvLine(total);
}

std::string FormatReadJson(DWORD dwResult, const QuoLogRead* pRows, DWORD dwCount, const QuoLogRead& total)
{
    std::string out = "{\"result\": " + std::to_string(dwResult) + ", \"rows\": [";
    for (DWORD i = 0; i < dwCount; ++i) {
        out += (i == 0 ? "\n  " : ",\n  ") + JsonRecord(pRows[i]);
    }
    return out + "\n], \"total\": " + JsonRecord(total) + "}\n";
}
