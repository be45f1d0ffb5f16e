#include "app/zelvano_app.h"

#include "app/report_dlg.h"

BEGIN_MESSAGE_MAP(CZelvanoApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

// The one application object.
CZelvanoApp theApp;

BOOL CZelvanoApp::InitInstance()
{
    Enable3dControls();
    CReportDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // No message loop of our own: the program ends with its dialog.
    return FALSE;
}
