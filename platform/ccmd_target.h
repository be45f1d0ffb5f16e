// Base of everything that receives messages through a message map.
#pragma once

#include <windows.h>

class CCmdTarget;

// Unpacks wParam and lParam and calls one typed OnXxx handler.
typedef LRESULT (*AFX_PMSG_THUNK)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // WM_xxx; 0 ends the table
    UINT nCode;     // WM_COMMAND only: the notification code
    UINT nID;       // WM_COMMAND only: the control or command id
    AFX_PMSG_THUNK pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() {}
    // The first entry for the message, searched from this class to its bases.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const;
    // Runs a WM_COMMAND handler of the map; FALSE when there is none.
    BOOL OnCmdMsg(UINT nID, UINT nCode, LPARAM lParam);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

#define DECLARE_MESSAGE_MAP()                                   \
protected:                                                      \
    static const AFX_MSGMAP* GetThisMessageMap();               \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                              \
    const AFX_MSGMAP* theClass::GetMessageMap() const                       \
    {                                                                       \
        return GetThisMessageMap();                                         \
    }                                                                       \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                         \
    {                                                                       \
        typedef theClass ThisClass;                                         \
        typedef baseClass TheBaseClass;                                     \
        static_assert(sizeof(ThisClass) > 0, "complete class");            \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                   \
            {0, 0, 0, nullptr}                                              \
        };                                                                  \
        static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, \
                                              _messageEntries};             \
        return &messageMap;                                                 \
    }

#define AFX_THUNK(body) \
    [](CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam) -> LRESULT { \
        ThisClass* pThis = static_cast<ThisClass*>(pTarget);            \
        (void)pThis; (void)wParam; (void)lParam;                        \
        body                                                            \
    }

// void OnXxx() for a command or a control's notification.
#define ON_COMMAND(id, memberFxn) \
    {WM_COMMAND, 0, static_cast<UINT>(id), AFX_THUNK(pThis->memberFxn(); return 0;)},
#define ON_CONTROL(code, id, memberFxn) \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), \
     AFX_THUNK(pThis->memberFxn(); return 0;)},
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_LBN_DBLCLK(id, memberFxn) ON_CONTROL(LBN_DBLCLK, id, memberFxn)
