#include "platform/clist_box.h"

void CListBox::GetText(int nIndex, CString& rString) const
{
    int n = Send(LB_GETTEXTLEN, nIndex, 0);
    if (n == LB_ERR || n <= 0) {
        rString.Empty();
        return;
    }
    // The length may be over-estimated for double-byte text; the copy says how much.
    int got = Send(LB_GETTEXT, nIndex, reinterpret_cast<LPARAM>(rString.GetBuffer(n)));
    rString.ReleaseBuffer(got > 0 ? got : 0);
}
