#include "app/report_dlg.h"

#include "app/code_page_notice.h"
#include "res/resource.h"
#include "run/launch_report.h"
#include "settings/settings_dlg.h"
#include "ui/anchor_layout.h"
#include "ui/tiled_background.h"

BEGIN_MESSAGE_MAP(CReportDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_ERASEBKGND()
    ON_WM_DESTROY()
    ON_WM_SIZE()
    ON_WM_GETMINMAXINFO()
    ON_MESSAGE(WM_ZELVANO_CODEPAGE_NOTICE, OnCodePageNotice)
END_MESSAGE_MAP()

CPoint CenteredIconOrigin(const CRect& rcClient, int cxIcon, int cyIcon)
{
    return CPoint((rcClient.Width() - cxIcon + 1) / 2, (rcClient.Height() - cyIcon + 1) / 2);
}

CReportDlg::CReportDlg(CWnd* pParent)
    : CDialog(IDD_REPORT, pParent), m_targets(10), m_hIcon(nullptr), m_pBackground(nullptr),
      m_pLayout(nullptr)
{
    m_hIcon = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
}

CReportDlg::~CReportDlg()
{
    // Normally gone at WM_DESTROY; this covers a window that was never made.
    delete m_pBackground;
    delete m_pLayout;
}

BOOL CReportDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    CString item;
    item.LoadString(IDS_SETTINGS_ITEM);
    if (!item.IsEmpty()) {
        HMENU hSysMenu = GetSystemMenu(FALSE);
        if (hSysMenu) {
            ::RemoveMenu(hSysMenu, SC_RESTORE, MF_BYCOMMAND);
            ::RemoveMenu(hSysMenu, SC_MAXIMIZE, MF_BYCOMMAND);
            ::AppendMenuA(hSysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(hSysMenu, MF_STRING, IDM_SETTINGS, item);
        }
    }

    SetIcon(m_hIcon, TRUE);

    CString refused;
    CString lines = PressListedTargets(m_targets, ::PostMessageA, &refused);
    struct tm now = {};
    CTime::GetCurrentTime().GetLocalTm(&now);
    m_report = ComposeLaunchReport(lines, now, refused);
    SetDlgItemText(IDC_REPORT, m_report);

    m_pBackground = new CTiledBackground(this, IDB_BACKGROUND);
    // 160 x 80 pixels at 96 DPI; the dialog itself grows with the DPI.
    const int nDpi = GetSystemDpi();
    m_pLayout = new CAnchorLayout(this, CSize(ScaleToDpi(160, nDpi), ScaleToDpi(80, nDpi)));
    m_pLayout->AddControl(IDC_REPORT, ANCHOR_TOPLEFT, ANCHOR_BOTTOMRIGHT);
    m_pLayout->AddControl(IDOK, ANCHOR_TOPRIGHT_SCALEY, ANCHOR_TOPRIGHT_SCALEY);

    // Told after the presses, once the report shows behind the message.
    if (!IsCodePageSupported(::GetACP()))
        ::PostMessageA(m_hWnd, WM_ZELVANO_CODEPAGE_NOTICE, 0, 0);
    return TRUE;
}

void CReportDlg::OnSysCommand(UINT nID, LPARAM /*lParam*/)
{
    if ((nID & 0xFFF0) == IDM_SETTINGS) {
        CSettingsDlg dlg;
        dlg.DoModal();
    } else {
        Default();
    }
}

void CReportDlg::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    int cxIcon = ::GetSystemMetrics(SM_CXICON);
    int cyIcon = ::GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    CPoint at = CenteredIconOrigin(rect, cxIcon, cyIcon);
    dc.DrawIcon(at.x, at.y, m_hIcon);
}

HCURSOR CReportDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

BOOL CReportDlg::OnEraseBkgnd(CDC* pDC)
{
    // Erase messages can come before initialisation and after WM_DESTROY.
    if (!m_pBackground)
        return static_cast<BOOL>(Default());
    return m_pBackground->Paint(pDC);
}

void CReportDlg::OnDestroy()
{
    Default();
    delete m_pBackground;
    m_pBackground = nullptr;
    delete m_pLayout;
    m_pLayout = nullptr;
}

void CReportDlg::OnSize(UINT nType, int /*cx*/, int /*cy*/)
{
    Default();
    if (m_pLayout && nType == SIZE_RESTORED)
        m_pLayout->Relayout();
}

void CReportDlg::OnGetMinMaxInfo(MINMAXINFO* lpMMI)
{
    if (m_pLayout)
        m_pLayout->ApplyMinTrackSize(lpMMI);
    Default();
}

LRESULT CReportDlg::OnCodePageNotice(WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    // In UTF-16 throughout: any text of ours in the A functions would be
    // read in the very code page that garbles it.
    wchar_t text[1024];
    FormatCodePageNotice(::GetACP(), text, static_cast<int>(sizeof(text) / sizeof(text[0])));
    wchar_t caption[MAX_PATH] = L"";
    ::MultiByteToWideChar(CP_ACP, 0, AfxGetApp()->m_pszAppName, -1, caption, MAX_PATH);
    caption[MAX_PATH - 1] = L'\0';
    ::MessageBoxW(m_hWnd, text, caption, MB_OK | MB_ICONWARNING);
    return 0;
}
