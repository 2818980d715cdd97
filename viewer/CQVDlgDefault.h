// The viewer's main dialog: the realtime pane on the left, the five tabs on the right
// (tab 0 the live wattage pane, tabs 1 to 4 the log pane by day, week, month and year),
// the logging button that asks the service to switch measuring and recording on or off,
// help, and the picture behind it all.
#pragma once
#include <windows.h>

#include <vector>

#include "CBitmapTabCtrl.h"
#include "CQVDlgRealtime.h"
#include "NamedMutex.h"

class CQVBaseChildDlg;
class CQVChildDlgLog;
class CQVChildDlgMonitor;

class CQVDlgDefault : public CQVDlgRealtime {
public:
    CQVDlgDefault();
    ~CQVDlgDefault() override;

    // Runs the dialog; on the Windows XP family with the stock GUI font's face.
    INT_PTR DoModal();

    DWORD SetLoggingState(DWORD dwState) override;
    DWORD Finalize() override;
    DWORD Initialize() override;

    // The mutex name that serialises the logging button's command.
    static const WCHAR kLoggingButtonMutex[];

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WORD wID, WORD wCode, HWND hWndCtl) override;
    BOOL OnNotify(NMHDR* pNMHDR, LRESULT* pResult) override;
    void OnDestroy() override;
    INT_PTR DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnPipeRecord(const BYTE* lpRecord, DWORD cbRecord) override;
    // The live record goes to the monitor pane as well.
    DWORD ApplyRealtimeData(const void* pData) override;

private:
    DWORD InitializeDefaultDialog();
    DWORD CreateLogChildDialog(HWND hWndParent);
    DWORD AddMonitorTabSheet(CQVBaseChildDlg* pDialog, HWND hWndParent);
    DWORD AddTabSheet(CQVBaseChildDlg* pDialog, HWND hWndParent);
    // Creates a pane on the tab control and adds it to the tab panes.
    DWORD CreateTabPane(CQVBaseChildDlg* pDialog, HWND hWndParent);
    // Moves a pane below the tab items: the height of item nItem plus nEdges edges.
    void PlaceTabPane(CQVBaseChildDlg* pDialog, int nItem, int nEdges);
    DWORD DestroyLogChildDialog();
    DWORD SetLogData(const void* pData);
    void SelectCurrentTab();

    void OnBnClickedBtnLogging();
    void OnBnClickedBtnHelp();
    void OnTcnSelchangeTabLogAnalyze(NMHDR* pNMHDR, LRESULT* pResult);
    BOOL OnEraseBkgnd(HDC hDC);
    // Paints the picture behind hWndChild into hDC (the child's coordinates).
    BOOL DrawBackgroundBehind(HDC hDC, HWND hWndChild);
    void OnPaint();

    CBitmapTabCtrl m_TabCtrl;
    CQVChildDlgLog* m_pChildDlgLog;
    std::vector<CQVBaseChildDlg*> m_pTabPanes;
    CNamedMutex m_MutexLoggingButton;
    CQVChildDlgMonitor* m_pChildDlgMonitor;
};
