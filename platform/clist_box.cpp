#include "platform/clist_box.h"

#include <vector>

void CListBox::GetText(int nIndex, CString& rString) const
{
    int n = Send(LB_GETTEXTLEN, nIndex, 0);
    if (n == LB_ERR || n <= 0) {
        rString.Empty();
        return;
    }
    // The length may be over-estimated for double-byte text; the copy says how much.
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    int got = Send(LB_GETTEXT, nIndex, reinterpret_cast<LPARAM>(buf.data()));
    rString = CString(buf.data(), got > 0 ? got : 0);
}
