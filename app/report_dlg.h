// The main window: performs the start-up run and shows its report.
#pragma once

#include "platform/platform.h"

// Posted to the main window once it shows, when the code page needs a word.
#define WM_ZELVANO_CODEPAGE_NOTICE (WM_APP + 1)

class CAnchorLayout;
class CTiledBackground;

class CReportDlg : public CDialog {
public:
    explicit CReportDlg(CWnd* pParent = nullptr);
    ~CReportDlg() override;

    // Every path read at start, in profile order; the settings dialog replaces it.
    CStringList m_targets;

protected:
    HICON m_hIcon;
    CString m_report;
    CTiledBackground* m_pBackground;
    CAnchorLayout* m_pLayout;

    void DoDataExchange() override {}
    BOOL OnInitDialog() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    BOOL OnEraseBkgnd(CDC* pDC);
    void OnDestroy();
    void OnSize(UINT nType, int cx, int cy);
    void OnGetMinMaxInfo(MINMAXINFO* lpMMI);
    LRESULT OnCodePageNotice(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()
};

// Where the icon goes in a minimised window's client area: centred, with
// the platform's rounding ((extent - icon + 1) / 2, toward zero).
CPoint CenteredIconOrigin(const CRect& rcClient, int cxIcon, int cyIcon);
