// The growable arrays, the pointer list and the map that the library's classes are built on.
//
// They keep the operation names the rest of the code is written against (GetSize, SetAt,
// Lookup, AddTail ...) over standard containers. Indices are int: message buffers stay far
// below 2^31 bytes (the engine empties its buffer at 16392 bytes).
#pragma once

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "tolvik/platform/Types.h"

namespace tolvik {

// A growable array of trivially copyable elements.
template <typename T>
class CArrayOf {
public:
    CArrayOf() = default;

    int GetSize() const { return static_cast<int>(m_data.size()); }
    int GetCount() const { return GetSize(); }
    bool IsEmpty() const { return m_data.empty(); }
    // New elements are zero; shrinking keeps the first nNewSize elements.
    void SetSize(int nNewSize) { m_data.resize(nNewSize > 0 ? static_cast<std::size_t>(nNewSize) : 0); }
    void RemoveAll() { m_data.clear(); }               // keeps the storage
    void FreeAll() { std::vector<T>().swap(m_data); }  // empties and gives the storage back
    int GetCapacity() const { return static_cast<int>(m_data.capacity()); }

    T* GetData() { return m_data.data(); }
    const T* GetData() const { return m_data.data(); }
    T& operator[](int nIndex) { return m_data[static_cast<std::size_t>(nIndex)]; }
    const T& operator[](int nIndex) const { return m_data[static_cast<std::size_t>(nIndex)]; }
    T GetAt(int nIndex) const { return m_data[static_cast<std::size_t>(nIndex)]; }
    void SetAt(int nIndex, T value) { m_data[static_cast<std::size_t>(nIndex)] = value; }

    int Add(T value) {
        m_data.push_back(value);
        return GetSize() - 1;
    }
    void Append(const T* pData, int nCount) {
        if (pData && nCount > 0) m_data.insert(m_data.end(), pData, pData + nCount);
    }
    void Append(const CArrayOf& other) { m_data.insert(m_data.end(), other.m_data.begin(), other.m_data.end()); }
    // Removes nCount elements from nIndex on (clamped to the array).
    void RemoveAt(int nIndex, int nCount = 1) {
        if (nIndex < 0 || nIndex >= GetSize() || nCount <= 0) return;
        const int n = std::min(nCount, GetSize() - nIndex);
        m_data.erase(m_data.begin() + nIndex, m_data.begin() + nIndex + n);
    }

    auto begin() { return m_data.begin(); }
    auto end() { return m_data.end(); }
    auto begin() const { return m_data.begin(); }
    auto end() const { return m_data.end(); }

    friend bool operator==(const CArrayOf&, const CArrayOf&) = default;

private:
    std::vector<T> m_data;
};

using CByteArray = CArrayOf<BYTE>;
using CWordArray = CArrayOf<WORD>;

// A doubly linked list of untyped pointers. The list does not own what it points to; classes
// derived from it (the speed estimator) delete their elements themselves.
struct CPtrListNode;
using POSITION = CPtrListNode*;

class CPtrList {
public:
    explicit CPtrList(int nBlockSize = 10);
    CPtrList(const CPtrList&) = delete;
    CPtrList& operator=(const CPtrList&) = delete;
    virtual ~CPtrList();

    int GetCount() const { return m_nCount; }
    int GetSize() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }

    void* GetHead() const;  // the list must not be empty
    void* GetTail() const;
    POSITION AddHead(void* p);
    POSITION AddTail(void* p);
    void* RemoveHead();  // the list must not be empty
    void* RemoveTail();
    void RemoveAll();

    POSITION GetHeadPosition() const { return m_pHead; }
    POSITION GetTailPosition() const { return m_pTail; }
    // Returns the element at pos and moves pos to the next one (null after the tail).
    void* GetNext(POSITION& pos) const;
    void* GetPrev(POSITION& pos) const;
    void* GetAt(POSITION pos) const;

private:
    CPtrListNode* m_pHead = nullptr;
    CPtrListNode* m_pTail = nullptr;
    int m_nCount = 0;
};

// A hash map from key to value. The hash-table size and block size of the original containers
// are accepted and ignored: the standard map sizes itself.
template <typename KEY, typename VALUE>
class CMap {
public:
    explicit CMap(int /*nBlockSize*/ = 10) {}

    void InitHashTable(UINT nHashSize) { m_map.reserve(nHashSize); }
    int GetCount() const { return static_cast<int>(m_map.size()); }
    int GetSize() const { return GetCount(); }
    bool IsEmpty() const { return m_map.empty(); }

    bool Lookup(const KEY& key, VALUE& rValue) const {
        const auto it = m_map.find(key);
        if (it == m_map.end()) return false;
        rValue = it->second;
        return true;
    }
    const VALUE* PLookup(const KEY& key) const {
        const auto it = m_map.find(key);
        return it == m_map.end() ? nullptr : &it->second;
    }
    void SetAt(const KEY& key, const VALUE& value) { m_map[key] = value; }
    VALUE& operator[](const KEY& key) { return m_map[key]; }
    bool RemoveKey(const KEY& key) { return m_map.erase(key) > 0; }
    void RemoveAll() { m_map.clear(); }

    auto begin() const { return m_map.begin(); }
    auto end() const { return m_map.end(); }

private:
    std::unordered_map<KEY, VALUE> m_map;
};

}  // namespace tolvik
