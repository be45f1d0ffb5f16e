// A modal dialog from a template, with a modal loop of our own so that
// PreTranslateMessage sees every message before it is dispatched.
#pragma once

#include <windows.h>

#include "platform/cwnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Returns the value given to EndDialog, or -1 when no dialog could be made.
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);
    // The window that DoModal makes the owner: the given parent, or else the
    // application's main window, taken at its top-level window.
    HWND GetModalOwner() const;

    // Dialog keyboard handling (Enter, Esc, Tab); TRUE when it took the message.
    virtual BOOL PreTranslateMessage(MSG* pMsg);

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange() {}
    virtual void OnOK();
    virtual void OnCancel();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void RunModalLoop();
    void CenterOverOwner();

    int m_nModalResult = -1;
    bool m_bModalEnded = false;
};
