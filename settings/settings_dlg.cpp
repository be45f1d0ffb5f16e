#include "settings/settings_dlg.h"

#include "app/report_dlg.h"
#include "res/resource.h"
#include "res/version.h"
#include "run/target_list.h"
#include "run/target_lookup.h"
#include "settings/window_picker.h"

BEGIN_MESSAGE_MAP(CSettingsDlg, CDialog)
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONUP()
    ON_WM_MOUSEMOVE()
    ON_WM_CAPTURECHANGED()
    ON_WM_PAINT()
    ON_WM_DESTROY()
    ON_BN_CLICKED(IDC_ADD, OnAdd)
    ON_BN_CLICKED(IDC_DELETE, OnDelete)
    ON_BN_CLICKED(IDC_CANCEL_BUTTON, OnButtonCancel)
    ON_LBN_DBLCLK(IDC_TARGET_LIST, OnDblclkList)
END_MESSAGE_MAP()

CString SettingsBanner()
{
    return CString(ZELVANO_BANNER_VERSION) + "\r\n" + ZELVANO_MAKER + "\r\n\r\n" +
           ZELVANO_MAKER_CONTACT1 + "\r\n" + ZELVANO_MAKER_CONTACT2;
}

CString PickQuestion(const CString& window, const CString& button)
{
    return "押されるボタンは\"" + window + "\"ｳｨﾝﾄﾞの\r\n\"" + button + "\"ボタンで良いですか？";
}

CString PickRefusal(TargetCheck check)
{
    switch (check) {
    case TARGET_OK:
        return "";
    case TARGET_NOT_CHILD:
        return "選んだのはボタンではなくウィンドウのため、対象にできません。\r\n"
               "使えない（灰色の）ボタンは選べません。";
    case TARGET_NESTED:
        return "選んだボタンはウィンドウの中のパネルやページの中にあるため、対象にできません。\r\n"
               "起動時に探せるのは、タイトルのあるウィンドウにじかに置かれたボタンだけです。";
    case TARGET_COMMA:
        return "選んだボタンまたはウィンドウの名前に「,」が含まれているため、対象にできません。";
    case TARGET_UNNAMED:
        return "選んだウィンドウにタイトルがないか、ボタンに文字がないため、対象にできません。";
    case TARGET_TITLE_TAKEN:
        return "同じタイトルのウィンドウがほかにもあり（見えないものも含みます）、"
               "そちらが先に見つかるため、対象にできません。";
    case TARGET_CAPTION_TAKEN:
        return "同じウィンドウに同じ文字のボタンが先にあり、そちらが押されてしまうため、対象にできません。";
    default:
        return "選んだボタンが見つからなくなったため、対象にできません。";
    }
}

CSettingsDlg::CSettingsDlg(CWnd* pParent)
    : CDialog(IDD_SETTINGS, pParent), m_pTargets(nullptr), m_pList(nullptr), m_pPicker(nullptr),
      m_bHighlighted(0), m_pfnConfirm(nullptr), m_hHeld(nullptr)
{
}

CSettingsDlg::~CSettingsDlg()
{
    EndPendingHighlights();
}

BOOL CSettingsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_BANNER, SettingsBanner());

    // The static makes its window the icon's size, sunken edge included,
    // which leaves the icon a client area 2 pixels short (Wine squeezes it
    // in). With a client area of the icon's size it shows pixel for pixel.
    CWnd marker = GetDlgItem(IDC_MARKER);
    CRect rcWindow, rcClient;
    marker.GetWindowRect(&rcWindow);
    marker.GetClientRect(&rcClient);
    marker.SetWindowPos(nullptr, 0, 0, rcWindow.Width() - rcClient.Width() + ::GetSystemMetrics(SM_CXICON),
                        rcWindow.Height() - rcClient.Height() + ::GetSystemMetrics(SM_CYICON),
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    CWnd* pParent = CWnd::FromHandle(::GetParent(m_hWnd));
    CReportDlg* pMain = pParent && pParent == AfxGetApp()->m_pMainWnd ? static_cast<CReportDlg*>(pParent) : nullptr;
    m_pTargets = pMain ? &pMain->m_targets : nullptr;

    m_pfnConfirm = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(GetDlgItem(IDC_CONFIRM).m_hWnd, GWLP_WNDPROC,
                                                                 reinterpret_cast<LONG_PTR>(&ConfirmProc)));
    m_listBox = CListBox(GetDlgItem(IDC_TARGET_LIST).m_hWnd);
    m_pList = &m_listBox;
    if (m_pTargets) {
        for (POSITION pos = m_pTargets->GetHeadPosition(); pos;)
            m_pList->AddString(m_pTargets->GetNext(pos));
    }
    return TRUE;
}

BOOL CSettingsDlg::PreTranslateMessage(MSG* pMsg)
{
    HWND hConfirm = GetDlgItem(IDC_CONFIRM).m_hWnd;
    if (hConfirm && pMsg->hwnd == hConfirm) {
        // The path is resolved anew at the press and at the release; the
        // window the press inverted serves only a press that ends before its
        // release (OnConfirmLetGo).
        if (pMsg->message == WM_LBUTTONDOWN) {
            HWND hFound = FindTarget(m_path);
            if (hFound && m_bHighlighted == 0) {
                m_bHighlighted = 1;
                m_hHeld = hFound;
                ToggleHighlight(hFound);
            }
        } else if (pMsg->message == WM_LBUTTONUP) {
            // The button lets the capture go as it handles this release.
            m_hHeld = nullptr;
            HWND hFound = FindTarget(m_path);
            if (hFound && m_bHighlighted == 1) {
                m_bHighlighted = 0;
                RestoreHighlight(hFound);
            }
        }
    }
    return CDialog::PreTranslateMessage(pMsg);
}

void CSettingsDlg::OnLButtonDown(UINT /*nFlags*/, CPoint point)
{
    HWND hMarker = GetDlgItem(IDC_MARKER).m_hWnd;
    if (hMarker && ChildWindowFromPoint(point).m_hWnd == hMarker && !m_pPicker)
        m_pPicker = new CWindowPicker(this, point, IDC_PICK_CURSOR);
    Default();
}

void CSettingsDlg::OnMouseMove(UINT /*nFlags*/, CPoint point)
{
    if (m_pPicker)
        m_pPicker->Track(point);
    Default();
}

void CSettingsDlg::OnLButtonUp(UINT /*nFlags*/, CPoint /*point*/)
{
    HWND hTarget = m_pPicker ? EndDrag() : nullptr;
    HWND hParent = hTarget ? ::GetParent(hTarget) : nullptr;
    if (hParent) {
        CString button, window;
        CWnd(hTarget).GetWindowText(button);
        CWnd(hParent).GetWindowText(window);
        TargetCheck check = TARGET_OK;
        if (HasLineBreak(window) || HasLineBreak(button)) {
            AfxMessageBox("選んだボタンまたはウィンドウの名前に改行が含まれているため、"
                          "対象にできません。",
                          MB_OK);
        } else if ((check = CheckTarget(hTarget, window, button)) != TARGET_OK) {
            AfxMessageBox(PickRefusal(check), MB_OK);
        } else if (AfxMessageBox(PickQuestion(window, button), MB_OKCANCEL) == IDOK) {
            m_path = window + "," + button;
            SetDlgItemText(IDC_PATH, m_path);
        }
    }
    Default();
}

void CSettingsDlg::OnCaptureChanged(CWnd* pWnd)
{
    // EndDrag's own release comes here too, with m_pPicker already null.
    if (m_pPicker && pWnd->m_hWnd != m_hWnd)
        EndDrag();
    Default();
}

void CSettingsDlg::OnPaint()
{
    CPaintDC dc(this);
}

void CSettingsDlg::OnAdd()
{
    if (m_path.IsEmpty()) {
        ::MessageBeep(MB_ICONEXCLAMATION);
        return;
    }
    if (m_pList->SelectString(0, m_path) != LB_ERR) {
        ::MessageBeep(MB_ICONEXCLAMATION);
        return;
    }
    m_pList->AddString(m_path);
}

void CSettingsDlg::OnDelete()
{
    int n = m_pList->GetCount();
    for (int i = 0; i < n; ++i) {
        if (m_pList->GetSel(i) > 0) {
            m_pList->DeleteString(i);
            return;
        }
    }
    ::MessageBeep(MB_ICONEXCLAMATION);
}

void CSettingsDlg::OnButtonCancel()
{
    CDialog::OnCancel();
}

void CSettingsDlg::OnDblclkList()
{
    int n = m_pList->GetCount();
    for (int i = 0; i < n; ++i) {
        if (m_pList->GetSel(i) > 0) {
            m_pList->GetText(i, m_path);
            SetDlgItemText(IDC_PATH, m_path);
            return;
        }
    }
}

LRESULT CALLBACK CSettingsDlg::ConfirmProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The dialog's object lets go of the dialog at its WM_NCDESTROY, which
    // comes after its children's.
    CSettingsDlg* pDlg = static_cast<CSettingsDlg*>(CWnd::FromHandle(::GetParent(hWnd)));
    // A pressed button loses the capture to Tab, Alt+Tab, an access key or
    // any window that captures the mouse, and its release goes elsewhere.
    if (message == WM_KILLFOCUS || (message == WM_CAPTURECHANGED && reinterpret_cast<HWND>(lParam) != hWnd))
        pDlg->OnConfirmLetGo();
    return ::CallWindowProcA(pDlg->m_pfnConfirm, hWnd, message, wParam, lParam);
}

void CSettingsDlg::OnConfirmLetGo()
{
    // Its release goes to another window now: the hold ends here.
    if (!m_hHeld)
        return;
    HWND hHeld = m_hHeld;
    m_hHeld = nullptr;
    m_bHighlighted = 0;
    RestoreHighlight(hHeld);
}

void CSettingsDlg::OnOK()
{
    // The list's lines go in as code page 932, which reads garbled in a UTF-8
    // file; the user is told how to turn the file into one that keeps them.
    CProfileFile& profile = AfxGetApp()->GetProfileFile();
    if (profile.IsUtf8()) {
        AfxMessageBox("設定ファイルの文字コードが ANSI（Shift_JIS）ではないため、リストを保存できません。\r\n" +
                          profile.GetPath() +
                          "\r\n\r\nメモ帳でこのファイルを開き、「名前を付けて保存」で文字コード（エンコード）に"
                          "「ANSI」を選んで上書き保存してから、もう一度「OK」を押してください。\r\n"
                          "システム ロケールが日本語でない Windows や、UTF-8 を使う設定（ベータ）がオンの "
                          "Windows では、「ANSI」の代わりに「UTF-16 LE」を選びます。",
                      MB_OK);
        return;
    }
    int n = m_pList->GetCount();
    CStringList saved;
    for (int i = 0; i < n; ++i) {
        CString text;
        m_pList->GetText(i, text);
        saved.AddTail(text);
    }
    // Saved whole or not at all; a refused save keeps the dialog open and
    // m_targets as it was.
    if (!WriteTargets(saved)) {
        AfxMessageBox("リストを保存できませんでした。\r\n"
                      "設定ファイルに書き込めるか確かめてください。",
                      MB_OK);
        return;
    }
    if (m_pTargets) {
        m_pTargets->RemoveAll();
        for (POSITION pos = saved.GetHeadPosition(); pos;)
            m_pTargets->AddTail(saved.GetNext(pos));
    }
    CDialog::OnOK();
}

void CSettingsDlg::OnDestroy()
{
    EndPendingHighlights();
    Default();
}

HWND CSettingsDlg::EndDrag()
{
    // Taken out first: End releases the capture, which sends WM_CAPTURECHANGED
    // here, and a message box may follow while the pick is used.
    CWindowPicker* pPicker = m_pPicker;
    m_pPicker = nullptr;
    pPicker->End();
    HWND hTarget = pPicker->GetTarget();
    delete pPicker;
    return hTarget;
}

void CSettingsDlg::EndPendingHighlights()
{
    if (m_pPicker)
        EndDrag();
    OnConfirmLetGo();
    if (m_bHighlighted == 1) {
        HWND hFound = FindTarget(m_path);
        if (hFound)
            RestoreHighlight(hFound);
        m_bHighlighted = 0;
    }
}
