// The Monitor pane: the pane of tab 0: the live wattage plot coloured by power plan, with
// its legend. Every timer tick plots the wattage of the last record as one point.
#pragma once
#include <windows.h>

#include "CQVBaseChildDlgRealtime.h"
#include "CRtPlot.h"
#include "MonitorRules.h"
#include "PipeCmd.h"

class CQVChildDlgMonitor : public CQVBaseChildDlgRealtime {
public:
    CQVChildDlgMonitor();
    ~CQVChildDlgMonitor() override;

    DWORD Create(HWND hWndParent) override;
    // Keeps a copy of the record for the timer, then the base's handling. 87 for null.
    DWORD Apply(const void* pData) override;

    // One tick: the stored record's wattage (a gap while logging is off) as a point in
    // its plan's colour.
    void OnTimerTick();

    const CRtPlot& GetPlot() const { return m_plot; }

protected:
    BOOL OnInitDialog() override;
    void OnDestroy() override;
    INT_PTR DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    // Loads the default plan names, then reads the plan colours and names of this model.
    void GetRegConfigMonitorAnalyze();
    void ReadColor(class CReg& cReg, LPCWSTR lpszName, COLORREF* pColor);
    void ReadPlanName(class CReg& cReg, LPCWSTR lpszName, std::wstring* pName);
    void ReadPlanNamePair(class CReg& cReg, LPCWSTR lpszName, std::wstring* pFirst, std::wstring* pSecond);
    void ReadInterval();
    void SetLegend();
    void CreatePlot();
    BOOL DrawLegendBox(const DRAWITEMSTRUCT* pDrawItem);

    QVPipeCmdNotifySysInfo m_stSysInfo;
    CRtPlot m_plot;
    MonPlanColors m_colors;
    MonPlanNames m_names;
    COLORREF m_crLegendBoxes[4];
    UINT m_uElapse;
};
