#include "platform/cdialog.h"

#include "platform/cwin_app.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd)
{
}

CDialog::~CDialog()
{
    if (m_hWnd && FromHandle(m_hWnd) == this)
        ::DestroyWindow(m_hWnd);
}

HWND CDialog::GetModalOwner() const
{
    HWND hOwner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!hOwner) {
        CWinApp* pApp = AfxGetApp();
        CWnd* pMain = pApp ? pApp->m_pMainWnd : nullptr;
        if (pMain && pMain != this && ::IsWindow(pMain->m_hWnd))
            hOwner = pMain->m_hWnd;
    }
    return hOwner ? ::GetAncestor(hOwner, GA_ROOT) : nullptr;
}

INT_PTR CDialog::DoModal()
{
    HWND hOwner = GetModalOwner();
    bool bEnableOwner = false;
    if (hOwner && ::IsWindowEnabled(hOwner)) {
        ::EnableWindow(hOwner, FALSE);
        bEnableOwner = true;
    }
    m_nModalResult = -1;
    m_bModalEnded = false;
    LPCSTR name = MAKEINTRESOURCEA(m_nIDTemplate);
    HWND hWnd = ::CreateDialogParamA(AfxFindResourceHandle(name, MAKEINTRESOURCEA(5) /* RT_DIALOG */),
                                     name, hOwner, &CDialog::DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    if (hWnd)
        RunModalLoop();
    if (bEnableOwner)
        ::EnableWindow(hOwner, TRUE);
    if (m_hWnd) {
        // Hand the activation back before the window goes, so the owner keeps the focus.
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        if (hOwner && ::GetActiveWindow() == m_hWnd)
            ::SetActiveWindow(hOwner);
        ::DestroyWindow(m_hWnd);
    } else if (hOwner && bEnableOwner) {
        ::SetActiveWindow(hOwner);
    }
    return m_nModalResult;
}

void CDialog::RunModalLoop()
{
    if (!m_bModalEnded && m_hWnd && !::IsWindowVisible(m_hWnd))
        ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
    MSG msg;
    // A dialog destroyed from outside (DestroyWindow) ends the loop too.
    while (!m_bModalEnded && m_hWnd) {
        BOOL r = ::GetMessageA(&msg, nullptr, 0, 0);
        if (r == 0) {
            // Leave WM_QUIT for the loop outside this one.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            m_nModalResult = IDCANCEL;
            break;
        }
        if (r == -1)
            break;
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    m_bModalEnded = true;
    // Wakes the loop when this runs inside a sent message.
    if (m_hWnd)
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg)
{
    if (!m_hWnd || pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST)
        return FALSE;
    if (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd))
        return FALSE;
    return ::IsDialogMessageA(m_hWnd, pMsg);
}

BOOL CDialog::OnInitDialog()
{
    DoDataExchange();
    return TRUE;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::CenterOverOwner()
{
    CRect rcDlg;
    ::GetWindowRect(m_hWnd, &rcDlg);
    HWND hOwner = ::GetWindow(m_hWnd, GW_OWNER);
    HMONITOR hMon = ::MonitorFromWindow(hOwner ? hOwner : m_hWnd, MONITOR_DEFAULTTONEAREST);
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    CRect rcArea;
    if (::GetMonitorInfoA(hMon, &mi))
        rcArea = mi.rcWork;
    else
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcArea, 0);
    CRect rcCenter = rcArea;
    if (hOwner && ::IsWindowVisible(hOwner) && !::IsIconic(hOwner))
        ::GetWindowRect(hOwner, &rcCenter);
    int x = (rcCenter.left + rcCenter.right) / 2 - rcDlg.Width() / 2;
    int y = (rcCenter.top + rcCenter.bottom) / 2 - rcDlg.Height() / 2;
    // Keep it on the work area.
    if (x + rcDlg.Width() > rcArea.right)
        x = rcArea.right - rcDlg.Width();
    if (y + rcDlg.Height() > rcArea.bottom)
        y = rcArea.bottom - rcDlg.Height();
    if (x < rcArea.left)
        x = rcArea.left;
    if (y < rcArea.top)
        y = rcArea.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM /*wParam*/, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return FALSE;  // default dialog handling; our own messages arrive through the subclass
    CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
    pDlg->SubclassWindow(hWnd);
    pDlg->CenterOverOwner();
    return pDlg->OnInitDialog();
}
