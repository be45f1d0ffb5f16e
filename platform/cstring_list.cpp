#include "platform/cstring_list.h"

struct CStringListNode {
    CString data;
    CStringListNode* pNext;
};

CStringList::CStringList(int /*nBlockSize*/) {}

CStringList::~CStringList()
{
    RemoveAll();
}

POSITION CStringList::AddTail(const CString& s)
{
    CStringListNode* p = new CStringListNode{s, nullptr};
    if (m_pTail)
        m_pTail->pNext = p;
    else
        m_pHead = p;
    m_pTail = p;
    ++m_nCount;
    return p;
}

void CStringList::RemoveAll()
{
    while (m_pHead) {
        CStringListNode* p = m_pHead;
        m_pHead = p->pNext;
        delete p;
    }
    m_pTail = nullptr;
    m_nCount = 0;
}

const CString& CStringList::GetNext(POSITION& pos) const
{
    const CStringListNode* p = pos;
    pos = p->pNext;
    return p->data;
}
