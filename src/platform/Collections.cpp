#include "tolvik/platform/Collections.h"

namespace tolvik {

struct CPtrListNode {
    CPtrListNode* pNext;
    CPtrListNode* pPrev;
    void* data;
};

CPtrList::CPtrList(int /*nBlockSize*/) {}

CPtrList::~CPtrList() { RemoveAll(); }

void* CPtrList::GetHead() const { return m_pHead->data; }
void* CPtrList::GetTail() const { return m_pTail->data; }

POSITION CPtrList::AddHead(void* p) {
    auto* node = new CPtrListNode{m_pHead, nullptr, p};
    if (m_pHead) {
        m_pHead->pPrev = node;
    } else {
        m_pTail = node;
    }
    m_pHead = node;
    ++m_nCount;
    return node;
}

POSITION CPtrList::AddTail(void* p) {
    auto* node = new CPtrListNode{nullptr, m_pTail, p};
    if (m_pTail) {
        m_pTail->pNext = node;
    } else {
        m_pHead = node;
    }
    m_pTail = node;
    ++m_nCount;
    return node;
}

void* CPtrList::RemoveHead() {
    CPtrListNode* node = m_pHead;
    void* data = node->data;
    m_pHead = node->pNext;
    if (m_pHead) {
        m_pHead->pPrev = nullptr;
    } else {
        m_pTail = nullptr;
    }
    delete node;
    --m_nCount;
    return data;
}

void* CPtrList::RemoveTail() {
    CPtrListNode* node = m_pTail;
    void* data = node->data;
    m_pTail = node->pPrev;
    if (m_pTail) {
        m_pTail->pNext = nullptr;
    } else {
        m_pHead = nullptr;
    }
    delete node;
    --m_nCount;
    return data;
}

void CPtrList::RemoveAll() {
    while (m_pHead) {
        CPtrListNode* next = m_pHead->pNext;
        delete m_pHead;
        m_pHead = next;
    }
    m_pTail = nullptr;
    m_nCount = 0;
}

void* CPtrList::GetNext(POSITION& pos) const {
    CPtrListNode* node = pos;
    pos = node->pNext;
    return node->data;
}

void* CPtrList::GetPrev(POSITION& pos) const {
    CPtrListNode* node = pos;
    pos = node->pPrev;
    return node->data;
}

void* CPtrList::GetAt(POSITION pos) const { return pos->data; }

}  // namespace tolvik
