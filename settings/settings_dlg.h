// The settings and version-information dialog: picks, confirms and edits the
// target list, and saves it to the profile on OK.
#pragma once

#include "platform/platform.h"
#include "run/target_lookup.h"

class CWindowPicker;

class CSettingsDlg : public CDialog {
public:
    explicit CSettingsDlg(CWnd* pParent = nullptr);
    ~CSettingsDlg() override;

    BOOL PreTranslateMessage(MSG* pMsg) override;

protected:
    CStringList* m_pTargets;
    CListBox* m_pList;
    CString m_path;
    CWindowPicker* m_pPicker;
    int m_bHighlighted;

    void DoDataExchange() override {}
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnLButtonDown(UINT nFlags, CPoint point);
    void OnLButtonUp(UINT nFlags, CPoint point);
    void OnMouseMove(UINT nFlags, CPoint point);
    void OnCaptureChanged(CWnd* pWnd);
    void OnPaint();
    void OnAdd();
    void OnDelete();
    void OnButtonCancel();
    void OnDblclkList();
    void OnConfirmLetGo();
    void OnDestroy();

    DECLARE_MESSAGE_MAP()

private:
    // Ends the drag and frees the picker; the pick, or null.
    HWND EndDrag();
    // Ends a drag and a confirm highlight that are still running when the
    // dialog closes, so no other program's window stays inverted.
    void EndPendingHighlights();

    // The confirm button's procedure: it loses the capture and the focus in
    // messages sent to it, past the dialog's loop.
    static LRESULT CALLBACK ConfirmProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    CListBox m_listBox;
    WNDPROC m_pfnConfirm;
    // The window that the confirm button's press inverted, until its release
    // or until the button lets go before it.
    HWND m_hHeld;
};

// The dialog's banner: five lines, the second maker line empty.
CString SettingsBanner();
// The question asked before a picked button becomes the current path.
CString PickQuestion(const CString& window, const CString& button);
// Why a picked button cannot become the current path; "" for TARGET_OK.
CString PickRefusal(TargetCheck check);
