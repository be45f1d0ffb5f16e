// An ordered list of CString, walked from head to tail with a POSITION.
#pragma once

#include "platform/cstring.h"

struct CStringListNode;
typedef CStringListNode* POSITION;

class CStringList {
public:
    // The block size is an allocation hint that this list does not need.
    explicit CStringList(int nBlockSize = 10);
    ~CStringList();
    CStringList(const CStringList&) = delete;
    CStringList& operator=(const CStringList&) = delete;

    int GetCount() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }
    POSITION AddTail(const CString& s);
    void RemoveAll();
    POSITION GetHeadPosition() const { return m_pHead; }
    // Returns the element at pos and moves pos to the next one (null at the end).
    const CString& GetNext(POSITION& pos) const;

private:
    CStringListNode* m_pHead = nullptr;
    CStringListNode* m_pTail = nullptr;
    int m_nCount = 0;
};
