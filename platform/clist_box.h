// A list box control: the LB_ messages as calls.
#pragma once

#include <windows.h>

#include "platform/cstring.h"
#include "platform/cwnd.h"

class CListBox : public CWnd {
public:
    CListBox() {}
    explicit CListBox(HWND hWnd) : CWnd(hWnd) {}

    int GetCount() const { return Send(LB_GETCOUNT, 0, 0); }
    int GetSel(int nIndex) const { return Send(LB_GETSEL, nIndex, 0); }
    void GetText(int nIndex, CString& rString) const;
    int AddString(const char* psz) { return Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(psz)); }
    int DeleteString(int nIndex) { return Send(LB_DELETESTRING, nIndex, 0); }
    // Selects the first item after nStartAfter that begins with psz,
    // ignoring case, wrapping round; LB_ERR when none does.
    int SelectString(int nStartAfter, const char* psz)
    {
        return Send(LB_SELECTSTRING, nStartAfter, reinterpret_cast<LPARAM>(psz));
    }

private:
    int Send(UINT message, WPARAM wParam, LPARAM lParam) const
    {
        return static_cast<int>(::SendMessageA(m_hWnd, message, wParam, lParam));
    }
};
