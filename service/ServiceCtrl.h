// The monitoring service proper: reads its settings, samples the machine on a timer,
// keeps the current log record and hands it to the log library on every tick and
// power transition, and publishes live values to the agents and viewers connected to
// its pipe server. Monitoring can be switched off and on at run time ("Function").
#pragma once

#include <windows.h>

#include "MetricsFile.h"
#include "PipeSv.h"
#include "QuoLogEx.h"
#include "Service.h"
#include "SystemTrace.h"
#include "Thread.h"

class CReg;

// Thread messages of the pipe worker thread.
enum : UINT {
    WM_PIPE_CONNECTED = 0x8064,       // wParam: the new client's handle
    WM_PIPE_RECVCMD_SWFUNC = 0x8065,  // wParam: the requested function state
    WM_PIPE_NOTIFY_SYSINFO = 0x8066,  // send the current sample to every client
};

class CServiceCtrl : public CService {
public:
    static constexpr size_t kPlanNameChars = 129;
    static constexpr DWORD kDefaultInterval = 5000;
    static constexpr DWORD kFailedWatt = 23000;
    static constexpr DWORD kPowerSettingCount = 7;

    CServiceCtrl();
    ~CServiceCtrl() override;

    // Reads the settings and opens the log library as its writer.
    DWORD InitializeEx();
    // Finalises the log record builder (and with it the log library).
    void FinalizeEx();

    // The level library's callback; lParam is the controller.
    static BOOL WINAPI QuoLevelNotifyProc(DWORD dwEvent, LPVOID lParam);
    // The pipe server's event callback; lpMyObj is the controller.
    static void OnRcv(LPVOID lpMyObj, PipeEvent* pPipeEvent);
    // Body of the pipe worker thread; lpMyObj is the controller.
    static DWORD PipeProc(LPVOID lpMyObj);

    // Control operations, reachable in process for the tests.
    DWORD OnStop() override;
    DWORD OnShutdown() override;
    DWORD OnPowerEvent(DWORD dwEventType, LPVOID lpEventData) override;
    DWORD OnSessionChange(DWORD dwEventType, LPVOID lpEventData) override;
    DWORD BeforeMainLoop(SERVICE_STATUS_HANDLE hServiceStatus) override;
    void MainLoop(DWORD dwArgc, LPWSTR* lpszArgv) override;
    void AfterMainLoop(SERVICE_STATUS_HANDLE hServiceStatus) override;

    // One sampling cycle.
    void OnTimer(UINT_PTR idEvent);
    DWORD OnPipeCmdSwitchFunction(DWORD dwFunction);
    DWORD OnPipeCmdActivePowPlan(LPCWSTR lpszPowPlan);

    // Senders of the pipe commands; dwClientHandle PIPE_ALL_CLIENTS sends to all.
    DWORD SendPipe_NotifySysinfo(HANDLE hAbort, DWORD dwClientHandle);
    DWORD SendPipe_SwitchFunction(HANDLE hAbort, DWORD dwFunction, DWORD dwClientHandle);
    DWORD SendPipe_ActivePowPlan(HANDLE hAbort, DWORD dwClientHandle);
    DWORD SendPipe_UpdateExtDspInfo();
    DWORD SendPipe_UpdateQuolevel();

    DWORD GetFunction() const { return m_dwFunction; }
    DWORD GetTimerInterval() const { return m_dwTimerIval; }
    CQuoLogEx& LogRecord() { return m_QuoLogEx; }
    CPipeSv& PipeServer() { return m_PipeSv; }

private:
    void ReadSettings(LPBOOL lpbDelayWrite, LPDWORD lpdwDelayTime);
    void ReadTimerInterval();
    // The reduction switch, the kind of PC and the reduction wattages.
    void ReadReduction(CReg& reg);
    void ReadReductionPlans(CReg& reg);
    void OnResume();
    void OnPowerSettingChange(const POWERBROADCAST_SETTING* pSetting);
    DWORD SendCommand(HANDLE hAbort, DWORD dwClientHandle, const void* lpCmd, DWORD cbCmd, LPCWSTR lpszName);
    void WriteEvent(DWORD dwPowerStatus);
    // Hands the tick to the metrics file: bSampled when a sample was just taken.
    void PublishMetrics(bool bSampled);

    // Record updaters: each reads one group of values and stores it in the record.
    void GetWatt();
    void GetBatt();
    void GetMonPow(DWORD dwNotified);
    void GetExtDspInfo();
    void GetQUOLevel();
    void GetActiveUserName();
    void GetPowPlanName(HANDLE hAbort, const GUID* pSchemeGuid);
    void UpdateReductionWatt();
    void UpdateAllInfo(HANDLE hAbort, BOOL bWithWatt);

    bool m_bIsVistaOrLater;
    UINT_PTR m_uTimerId;
    DWORD m_dwTimerIval;
    DWORD m_dwFunction;
    CPipeSv m_PipeSv;
    CSystemTrace m_SysTrace;
    CQuoLogEx m_QuoLogEx;
    CThread m_PipeThread;
    bool m_bConsumerPC;
    DWORD m_dwReductWatt;
    DWORD m_dwReductWattTwo;
    WCHAR m_szPowPlanQuo[kPlanNameChars];
    WCHAR m_szPowPlanSuperQuo[kPlanNameChars];
    bool m_bSuspended;
    HPOWERNOTIFY m_hPowerNotify[kPowerSettingCount];
    // The start got as far as its START record; the stop writes END only then.
    bool m_bStarted;
    // QuoApiInitializeWatchActiveScheme was called and awaits its finalisation.
    bool m_bWatchingScheme;
    CMetricsFile m_Metrics;
    // The last reading of the PC's power succeeded (the record then holds no placeholder).
    volatile LONG m_lWattRead;
    // A WM_PIPE_NOTIFY_SYSINFO is queued and not yet handled: ticks add no second one.
    volatile LONG m_lNotifyPending;
};

extern const WCHAR REGKEY_PATH_QUOVIEWER[];
