// The service's one current log record: updated field group by field group by the
// controller's threads, handed to the log library on every sample and power
// transition, and dumped to the trace log after every change. It also opens and closes
// the log library for the service, as its single writer.
#pragma once

#include <windows.h>

#include "QuoLog.h"

class CQuoLogEx {
public:
    CQuoLogEx();
    virtual ~CQuoLogEx();

    CQuoLogEx(const CQuoLogEx&) = delete;
    CQuoLogEx& operator=(const CQuoLogEx&) = delete;

    // Clears the record and, when bOutput, opens the log library as the writer with
    // the sampling interval and the delayed-write settings. The library's error fails it.
    DWORD Initialize(BOOL bOutput, DWORD dwInterval, BOOL bDelayWrite, DWORD dwDelayTime);
    DWORD Finalize();

    // Copies the whole record out.
    DWORD Get(QuoLogData* pData);
    DWORD ClearData();

    // Setters of the field groups; a string that does not fit is stored cut and gives 266.
    DWORD Set_PowStatus(DWORD dwStatus);
    DWORD Set_PCWatt(DWORD dwWatt);
    DWORD Set_BattInfo(DWORD dwStatus, DWORD dwPercent, DWORD dwCapacity);
    DWORD Set_ReductionWatt(DWORD dwWatt);
    DWORD Set_PowerPlan(LPCWSTR lpszVal);
    DWORD Set_MonPow(DWORD dwStatus1, DWORD dwStatus2);
    DWORD Set_ExtDspInfo(DWORD dwWatt, LPCWSTR lpszName1, DWORD dwLevel1, LPCWSTR lpszName2, DWORD dwLevel2);
    DWORD Set_QUOLevel(DWORD dwLevel);
    DWORD Set_UserName(LPCWSTR lpszVal);

    // Hands the record to the log library: a sample (bSample) is the whole record, an
    // event record only its power status and battery fields. No running sample is
    // written between a suspend, shutdown or end record and the next resume or start. Two
    // writes never share a time stamp: the second waits until the clock has moved on.
    // A failing write is traced once, when writing starts to fail, and its end once
    // (the library keeps the records meanwhile), not at every sample.
    DWORD Write(BOOL bSample);

    // Sets the power status and writes, as one step: no other thread's status can come
    // between the two.
    DWORD WriteRecord(DWORD dwPowerStatus, BOOL bSample);

    DWORD CopyPksReg();

    // Writes the fields that dwMask selects to the trace log (level 0).
    static void _Debug(const QuoLogData& data, DWORD dwMask);

    // Every field of the record.
    static const DWORD kDumpAll = 0xFFFFF;

private:
    static constexpr int kMaxStampWaits = 20;
    static constexpr DWORD kStampWaitMs = 5;

    static ULONGLONG LocalTimeMs();
    void WaitForLaterTimeStamp();

    bool m_bInitialized;
    CRITICAL_SECTION m_csData;
    CRITICAL_SECTION m_csWrite;
    QuoLogData m_LogData;
    bool m_bAwake;
    bool m_bOutput;
    // Local time in ms just after the last write (the library's stamp is not later).
    ULONGLONG m_ullLastWriteTime;
    // The library's answer to the last write.
    DWORD m_dwLastWriteResult;
};
