// The application object: one per program, constructed before the entry point.
#pragma once

#include <windows.h>

#include "platform/ccmd_target.h"
#include "platform/cprofile_file.h"
#include "platform/cstring.h"
#include "platform/cwnd.h"

class CWinApp : public CCmdTarget {
public:
    // Without a name the application is named after the executable.
    explicit CWinApp(const char* pszAppName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }

    // The 3-D control look is the system's own on every current Windows.
    BOOL Enable3dControls() { return TRUE; }
    HICON LoadIcon(UINT nIDResource) const;

    // The profile: an INI file named after the executable, given as a bare
    // name, so it lives in the Windows directory or in the user's store of it.
    CString GetProfileString(const char* pszSection, const char* pszEntry,
                             const char* pszDefault = nullptr) const;
    BOOL WriteProfileString(const char* pszSection, const char* pszEntry, const char* pszValue);
    void SetProfileName(const char* pszProfileName);
    CProfileFile& GetProfileFile() { return m_profile; }

    void OnHelp();

    HINSTANCE m_hInstance;
    CWnd* m_pMainWnd;
    const char* m_pszAppName;
    const char* m_pszExeName;
    const char* m_pszProfileName;

    DECLARE_MESSAGE_MAP()

private:
    friend CWinApp* AfxGetApp();
    static CWinApp* s_pApp;

    CString m_strAppName;
    CString m_strExeName;
    CString m_strProfileName;
    CProfileFile m_profile;
};

CWinApp* AfxGetApp();
// A message box owned by the active window, captioned with the application's
// name; without an icon in nType it shows the exclamation icon.
int AfxMessageBox(const char* pszText, UINT nType = MB_OK);
HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType);
// The entry point's work: runs InitInstance and ExitInstance.
int AfxWinMain(HINSTANCE hInstance);
