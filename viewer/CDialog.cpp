#include "CDialog.h"

#include "CDialogTemplate.h"
#include "CWinApp.h"
#include "OwnerDraw.h"

CDialog::CDialog(UINT nIDTemplate) : m_hWnd(nullptr), m_nIDTemplate(nIDTemplate), m_bModal(false) {}

CDialog::~CDialog()
{
    DestroyWindow();
}

DWORD CDialog::PrepareTemplate(LPCWSTR lpszFontFace, CDialogTemplate* pTemplate) const
{
    DWORD dwResult = pTemplate->Load(CWinApp::GetInstanceHandle(), m_nIDTemplate);
    if (dwResult == 0 && lpszFontFace != nullptr) {
        dwResult = pTemplate->SetFontFace(lpszFontFace);
    }
    return dwResult;
}

std::wstring CDialog::GetTemplateFontFace() const
{
    CDialogTemplate dlgTemplate;
    std::wstring face;
    WORD wPointSize = 0;
    if (dlgTemplate.Load(CWinApp::GetInstanceHandle(), m_nIDTemplate) == 0) {
        dlgTemplate.GetFont(&face, &wPointSize);
    }
    return face;
}

INT_PTR CDialog::DoModal(HWND hWndParent, LPCWSTR lpszFontFace)
{
    CDialogTemplate dlgTemplate;
    DWORD dwResult = PrepareTemplate(lpszFontFace, &dlgTemplate);
    if (dwResult != 0) {
        SetLastError(dwResult);
        return -1;
    }
    m_bModal = true;
    INT_PTR nResult = DialogBoxIndirectParamW(CWinApp::GetInstanceHandle(), dlgTemplate.Get(), hWndParent,
                                              StaticDialogProc, reinterpret_cast<LPARAM>(this));
    m_bModal = false;
    return nResult;
}

DWORD CDialog::CreateIndirect(HWND hWndParent, LPCWSTR lpszFontFace)
{
    if (m_hWnd != nullptr) {
        return ERROR_ALREADY_INITIALIZED;
    }
    CDialogTemplate dlgTemplate;
    DWORD dwResult = PrepareTemplate(lpszFontFace, &dlgTemplate);
    if (dwResult != 0) {
        return dwResult;
    }
    HWND hWnd = CreateDialogIndirectParamW(CWinApp::GetInstanceHandle(), dlgTemplate.Get(), hWndParent,
                                           StaticDialogProc, reinterpret_cast<LPARAM>(this));
    if (hWnd == nullptr) {
        DWORD dwError = GetLastError();
        return (dwError != 0) ? dwError : ERROR_CANNOT_MAKE;
    }
    return 0;
}

BOOL CDialog::DestroyWindow()
{
    if (m_hWnd == nullptr) {
        return TRUE;
    }
    if (m_bModal) {
        EndDialog(IDCANCEL);
        return TRUE;
    }
    return ::DestroyWindow(m_hWnd);
}

void CDialog::EndDialog(INT_PTR nResult)
{
    if (m_hWnd != nullptr) {
        ::EndDialog(m_hWnd, nResult);
    }
}

CDialog* CDialog::FromHandle(HWND hWnd)
{
    if (hWnd == nullptr || GetWindowLongPtrW(hWnd, DWLP_DLGPROC) == 0) {
        return nullptr;
    }
    return reinterpret_cast<CDialog*>(GetWindowLongPtrW(hWnd, DWLP_USER));
}

void CDialog::SetMsgResult(LRESULT lResult)
{
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, lResult);
}

BOOL CDialog::OnCommand(WORD wID, WORD /*wCode*/, HWND /*hWndCtl*/)
{
    if (m_bModal && (wID == IDOK || wID == IDCANCEL)) {
        EndDialog(wID);
        return TRUE;
    }
    return FALSE;
}

BOOL CDialog::OnNotify(NMHDR* /*pNMHDR*/, LRESULT* /*pResult*/)
{
    return FALSE;
}

INT_PTR CDialog::DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_NOTIFY: {
        LRESULT lResult = 0;
        if (OnNotify(reinterpret_cast<NMHDR*>(lParam), &lResult)) {
            SetMsgResult(lResult);
            return TRUE;
        }
        return FALSE;
    }
    case WM_DRAWITEM:
        return ReflectDrawItem(wParam, lParam);
    case WM_DESTROY:
        OnDestroy();
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    CDialog* pDialog = nullptr;
    if (uMsg == WM_INITDIALOG) {
        pDialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        pDialog->m_hWnd = hWnd;
    } else {
        pDialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    }
    if (pDialog == nullptr) {
        return FALSE;
    }
    INT_PTR nResult = pDialog->DialogProc(uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        pDialog->m_hWnd = nullptr;
    }
    return nResult;
}
