#include "platform/ccmd_target.h"

namespace {
const AFX_MSGMAP_ENTRY kNoEntries[] = {{0, 0, 0, nullptr}};
const AFX_MSGMAP kRootMap = {nullptr, kNoEntries};
}  // namespace

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    return &kRootMap;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const
{
    for (const AFX_MSGMAP* pMap = GetMessageMap(); pMap;
         pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* p = pMap->lpEntries; p->nMessage != 0; ++p) {
            if (p->nMessage != nMessage)
                continue;
            if (nMessage == WM_COMMAND && (p->nCode != nCode || p->nID != nID))
                continue;
            return p;
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, UINT nCode, LPARAM lParam)
{
    const AFX_MSGMAP_ENTRY* p = FindMessageEntry(WM_COMMAND, nCode, nID);
    if (!p)
        return FALSE;
    p->pfn(this, MAKEWPARAM(nID, nCode), lParam);
    return TRUE;
}
