#include "platform/cwin_app.h"

#include "platform/dll_search.h"

CWinApp* CWinApp::s_pApp = nullptr;

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(const char* pszAppName)
    : m_hInstance(::GetModuleHandleA(nullptr)), m_pMainWnd(nullptr)
{
    // Before anything loads a DLL: the profile's name may load shell32 below,
    // and the first window uxtheme.
    RestrictDllSearchToSystem();
    s_pApp = this;
    char path[MAX_PATH * 2] = {};
    DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
    CString full(path, static_cast<int>(n));
    // The base name: after the last path separator, before the extension.
    int start = 0;
    int dot = -1;
    for (int i = 0; i < full.GetLength(); ++i) {
        unsigned char c = static_cast<unsigned char>(full[i]);
        if (c == '\\' || c == '/' || c == ':') {
            start = i + 1;
            dot = -1;
        } else if (c == '.') {
            dot = i;
        } else if (::IsDBCSLeadByte(c) && i + 1 < full.GetLength()) {
            ++i;
        }
    }
    m_strExeName = full.Mid(start, (dot > start ? dot : full.GetLength()) - start);
    m_strAppName = pszAppName ? CString(pszAppName) : m_strExeName;
    m_pszExeName = m_strExeName;
    m_pszAppName = m_strAppName;
    SetProfileName(m_strExeName + ".INI");
}

CWinApp::~CWinApp()
{
    if (s_pApp == this)
        s_pApp = nullptr;
}

HICON CWinApp::LoadIcon(UINT nIDResource) const
{
    return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(nIDResource));
}

CString CWinApp::GetProfileString(const char* pszSection, const char* pszEntry,
                                  const char* pszDefault) const
{
    return m_profile.GetString(pszSection, pszEntry, pszDefault ? pszDefault : "");
}

BOOL CWinApp::WriteProfileString(const char* pszSection, const char* pszEntry, const char* pszValue)
{
    // The framework's null value would remove the key: no caller asks for that.
    if (!pszEntry || !pszValue) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    CArray<CProfileValue> values;
    values.Add(CProfileValue{pszEntry, pszValue});
    return m_profile.WriteStrings(pszSection, values);
}

void CWinApp::SetProfileName(const char* pszProfileName)
{
    m_strProfileName = pszProfileName ? pszProfileName : "";
    m_pszProfileName = m_strProfileName;
    m_profile.SetName(m_pszProfileName);
}

void CWinApp::OnHelp()
{
    // No help file ships with the program: nothing to open.
}

CWinApp* AfxGetApp()
{
    return CWinApp::s_pApp;
}

int AfxMessageBox(const char* pszText, UINT nType)
{
    CWinApp* pApp = AfxGetApp();
    HWND hOwner = ::GetActiveWindow();
    if (!hOwner && pApp && pApp->m_pMainWnd)
        hOwner = pApp->m_pMainWnd->m_hWnd;
    if ((nType & MB_ICONMASK) == 0)
        nType |= MB_ICONEXCLAMATION;
    return ::MessageBoxA(hOwner, pszText, pApp ? pApp->m_pszAppName : nullptr, nType);
}

HINSTANCE AfxFindResourceHandle(LPCSTR /*lpszName*/, LPCSTR /*lpszType*/)
{
    // All resources live in the executable itself.
    CWinApp* pApp = AfxGetApp();
    return pApp ? pApp->m_hInstance : ::GetModuleHandleA(nullptr);
}

int AfxWinMain(HINSTANCE hInstance)
{
    CWinApp* pApp = AfxGetApp();
    if (!pApp)
        return 1;
    pApp->m_hInstance = hInstance;
    // A dialog-based program does its work inside InitInstance and returns
    // FALSE: there is no message loop of the application's own.
    pApp->InitInstance();
    return pApp->ExitInstance();
}
