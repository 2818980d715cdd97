// The log analysis pane behind tabs 1 to 4: the consumption of one day, week (Sunday to
// Saturday), month or year as a histogram with its totals, read from the log library
// (opened here as a reader; the main dialog closes it) and stepped between periods within [past limit, today]. It
// redraws itself one minute after each half hour the library totals. The numbers come
// from the window-free Log* files; this class reads, draws and sets the controls.
#pragma once
#include <windows.h>

#include <memory>

#include "CQVBaseChildDlg.h"
#include "CTransBmpButton.h"
#include "LogColorTables.h"
#include "LogPaneSettings.h"
#include "LogPaneView.h"
#include "LogPeriodData.h"
#include "NamedMutex.h"
#include "QVImage.h"

// A date button that shows its hover picture while the pointer is over it.
class CQVDateButton : public CTransBmpButton {
protected:
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    bool m_bTracking = false;
};

class CQVChildDlgLog : public CQVBaseChildDlg {
public:
    // Where the pane reads the local time (today, and the refresh minute).
    typedef void(WINAPI* LocalTimeFunc)(LPSYSTEMTIME);
    static const UINT_PTR kRefreshTimerId = 1;
    static const UINT kRefreshTimerMs = 60000;

    CQVChildDlgLog();
    ~CQVChildDlgLog() override;

    DWORD Create(HWND hWndParent) override;
    // pData: { mode (DWORD): 1 day, 2 week, 3 month, 4 year }. Shows that view.
    DWORD Apply(const void* pData) override;
    // Reads the shown period again, redraws the histogram and sets the controls.
    DWORD UpdateLogGraph();

    // Replaces the clock (GetLocalTime by default), so that tests choose "today" and
    // the minute the refresh timer sees.
    void SetLocalTimeFunc(LocalTimeFunc pfnLocalTime);
    const QVLogPeriodData& GetPeriodData() const { return m_data; }
    // The histogram's image, null before the pane is initialised.
    const CQVImage* GetImage() const { return m_pImgLogGraph.get(); }

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnCommand(WORD wID, WORD wCode, HWND hWndCtl) override;
    void OnDestroy() override;

private:
    DWORD InitializeChildDlgLog();
    void LoadTexts();
    void SetStaticLabels();
    DWORD UpdateLogData(DWORD dwMode);
    DWORD UpdateGraphLog();
    DWORD UpdateItem();
    SYSTEMTIME Today() const;
    void ChangeLogDate(int nDirection);
    void OnBnClickedLogDate();
    void OnTimer(UINT_PTR nIDEvent);
    void OnDrawGraph(const DRAWITEMSTRUCT* pDrawItem);

    SYSTEMTIME m_stCurrentDate;
    DWORD m_nLogMode;
    LocalTimeFunc m_pfnLocalTime;
    QVLogPaneSettings m_settings;
    QVPlanColorTable m_planColors;
    QVStateColorTable m_stateColors;
    QVHistogramSettings m_histogram;
    QVLogPaneTexts m_texts;
    QVBarTexts m_barTexts;
    QVLogPeriodData m_data;
    std::unique_ptr<CQVImage> m_pImgLogGraph;
    CNamedMutex m_MutexLogAnalyze;
    CQVDateButton m_btnPrevious;
    CQVDateButton m_btnFollowing;
    bool m_bTimer;
};
