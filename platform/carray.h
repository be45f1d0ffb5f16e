// A growable array of plain values (pointers, small structs). Growth that
// fails throws std::bad_alloc from new, like the rest of the framework.
#pragma once

template <class TYPE>
class CArray {
public:
    CArray() {}
    ~CArray() { delete[] m_pData; }
    CArray(CArray&& other) noexcept : m_pData(other.m_pData), m_nSize(other.m_nSize), m_nMaxSize(other.m_nMaxSize)
    {
        other.m_pData = nullptr;
        other.m_nSize = other.m_nMaxSize = 0;
    }
    CArray(const CArray&) = delete;
    CArray& operator=(const CArray&) = delete;

    int GetSize() const { return m_nSize; }
    bool IsEmpty() const { return m_nSize == 0; }
    TYPE& operator[](int nIndex) { return m_pData[nIndex]; }
    const TYPE& operator[](int nIndex) const { return m_pData[nIndex]; }
    const TYPE* begin() const { return m_pData; }
    const TYPE* end() const { return m_pData + m_nSize; }

    // Returns the new element's index.
    int Add(const TYPE& value)
    {
        if (m_nSize == m_nMaxSize) {
            TYPE copy = value;  // value may be an element of this array
            int nMax = m_nMaxSize ? m_nMaxSize * 2 : 8;
            TYPE* pNew = new TYPE[nMax];
            for (int i = 0; i < m_nSize; ++i)
                pNew[i] = m_pData[i];
            delete[] m_pData;
            m_pData = pNew;
            m_nMaxSize = nMax;
            m_pData[m_nSize] = copy;
        } else {
            m_pData[m_nSize] = value;
        }
        return m_nSize++;
    }
    void RemoveAll()
    {
        delete[] m_pData;
        m_pData = nullptr;
        m_nSize = m_nMaxSize = 0;
    }

private:
    TYPE* m_pData = nullptr;
    int m_nSize = 0;
    int m_nMaxSize = 0;
};
