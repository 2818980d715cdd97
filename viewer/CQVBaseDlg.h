// The base of the main dialog: its copy of the root configuration, the pipe client that
// links it to the service, the application icon, help (F1 and the help button), and the
// hand-over of received records from the pipe client's thread to the GUI thread.
//
// The pipe client calls OnRecv on its receive thread. That thread never waits for the
// GUI thread: it copies the record, posts it (WM_QV_PIPE_RECORD) and returns, so closing
// the dialog (which waits for the receive thread) cannot deadlock with it. The GUI
// thread applies the record through the virtual OnPipeRecord.
#pragma once
#include <windows.h>

#include <atomic>

#include "CDialog.h"
#include "CHtmlHelp.h"
#include "PipeCl.h"
#include "QVRootConfig.h"

class CQVBaseChildDlg;

class CQVBaseDlg : public CDialog {
public:
    explicit CQVBaseDlg(UINT nIDTemplate);
    ~CQVBaseDlg() override;

    DWORD SetQVRootConfig(const QVRootConfig* pConfig);

    // The receive callback given to the pipe client; lpData is the dialog.
    static void OnRecv(LPVOID lpData, PipeEvent* pPipeEvent);
    // Asks the service to switch measuring and recording on (1) or off (0), waiting for
    // its acknowledgement; the state is stored when the message was taken. 87 for
    // another state; else the pipe client's result.
    DWORD SendPipeSwitchLoggingState(DWORD dwState);
    // Opens QuoViewer.chm beside the program. 0, also when no help window opens; 2 when
    // the program's path cannot be read.
    DWORD ShowHelp();

protected:
    // Destroys an owned pane's window and deletes the pane; false when the window could
    // not be destroyed (the pane is deleted all the same). A null pane is left alone.
    template <class TPane>
    static bool DestroyOwnedPane(TPane*& pPane)
    {
        if (pPane == nullptr) {
            return true;
        }
        bool bDestroyed = pPane->DestroyWindow() != FALSE;
        delete pPane;
        pPane = nullptr;
        return bDestroyed;
    }

    // Registers with the service's pipes, records going to pFunc with the dialog as its
    // context. 87 for null; else the pipe client's result.
    DWORD CreatePipeConnection(LPPIPE_EVENT_FUNC pFunc);
    // Unregisters and frees the records still queued for the dialog. Repeatable.
    void ClosePipeConnection();
    // Creates a pane inside hWndParent, sized to the parent's client area, shown.
    DWORD AddChildDialog(CQVBaseChildDlg* pDialog, HWND hWndParent);

    // A record copied from the pipe, on the GUI thread; the base drops it.
    virtual void OnPipeRecord(const BYTE* lpRecord, DWORD cbRecord);

    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    QVRootConfig m_stRootConfig;
    CPipeCl m_PipeCl;
    HICON m_hIcon;
    HICON m_hIconSmall;

private:
    // The window the receive thread posts to; null while no records are wanted.
    std::atomic<HWND> m_hWndRecords;
    CHtmlHelp m_HtmlHelp;
};
