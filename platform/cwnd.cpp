#include "platform/cwnd.h"

#include "platform/cwin_app.h"

namespace {
// The window property that ties a window of ours to its C++ object.
const char kObjectProp[] = "Zelvano.CWnd";
}  // namespace

CWnd::~CWnd()
{
    // Only an attached object has a window procedure to give back; copies
    // and temporaries (one per child in every lookup) skip the look-up.
    if (m_pfnSuper && m_hWnd && FromHandle(m_hWnd) == this)
        Detach();
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    if (!hWnd)
        return nullptr;
    // Another process's window can carry a property of the same name: only
    // windows of this process are ours.
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if (pid != ::GetCurrentProcessId())
        return nullptr;
    return static_cast<CWnd*>(::GetPropA(hWnd, kObjectProp));
}

void CWnd::GetWindowText(CString& rString) const
{
    // No GetWindowTextLength first: for another process's window that would
    // send a message and wait on a hung program, where GetWindowText reads
    // the stored text without asking it.
    rString.ReadGrowing([this](char* pch, int nSize) { return ::GetWindowTextA(m_hWnd, pch, nSize); }, 1 << 20);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_msgCur.message, m_msgCur.wParam, m_msgCur.lParam);
}

void CWnd::SubclassWindow(HWND hWnd)
{
    m_hWnd = hWnd;
    ::SetPropA(hWnd, kObjectProp, this);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc)));
}

void CWnd::Detach()
{
    if (m_pfnSuper)
        ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    ::RemovePropA(m_hWnd, kObjectProp);
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    UINT nID = LOWORD(wParam);
    UINT nCode = HIWORD(wParam);
    if (OnCmdMsg(nID, nCode, lParam))
        return TRUE;
    // Commands (not control notifications) go on to the application.
    CWinApp* pApp = AfxGetApp();
    return lParam == 0 && pApp && pApp->OnCmdMsg(nID, nCode, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND) {
        if (OnCommand(wParam, lParam))
            return 0;
        return Default();
    }
    const AFX_MSGMAP_ENTRY* pEntry = FindMessageEntry(message, 0, 0);
    if (pEntry)
        return pEntry->pfn(this, wParam, lParam);
    return Default();
}

LRESULT CALLBACK CWnd::AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = FromHandle(hWnd);
    if (!pWnd)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    MSG saved = pWnd->m_msgCur;
    pWnd->m_msgCur.hwnd = hWnd;
    pWnd->m_msgCur.message = message;
    pWnd->m_msgCur.wParam = wParam;
    pWnd->m_msgCur.lParam = lParam;
    LRESULT lResult = pWnd->WindowProc(message, wParam, lParam);
    pWnd->m_msgCur = saved;
    if (message == WM_NCDESTROY && FromHandle(hWnd) == pWnd)
        pWnd->Detach();
    return lResult;
}
