#include "platform/cstring.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

CString::CString(const char* psz)
{
    if (psz)
        Assign(psz, static_cast<int>(std::strlen(psz)));
}

CString::CString(const char* pch, int nLength)
{
    if (pch && nLength > 0)
        Assign(pch, nLength);
}

CString::CString(const CString& s)
{
    Assign(s.GetString(), s.m_nLength);
}

CString::~CString()
{
    delete[] m_pch;
}

void CString::Empty()
{
    m_nLength = 0;
    if (m_pch)
        m_pch[0] = '\0';
}

char* CString::Reserve(int nLength)
{
    if (nLength + 1 <= m_nAlloc)
        return nullptr;
    int nAlloc = m_nAlloc * 2 > nLength + 1 ? m_nAlloc * 2 : nLength + 1;
    char* pNew = new char[static_cast<size_t>(nAlloc)];
    std::memcpy(pNew, GetString(), static_cast<size_t>(m_nLength) + 1);
    char* pOld = m_pch;
    m_pch = pNew;
    m_nAlloc = nAlloc;
    return pOld;
}

char* CString::GetBuffer(int nMinLength)
{
    delete[] Reserve(nMinLength > m_nLength ? nMinLength : m_nLength);
    return m_pch;
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (!m_pch)
        return;
    m_pch[m_nAlloc - 1] = '\0';
    if (nNewLength < 0 || nNewLength >= m_nAlloc)
        nNewLength = static_cast<int>(std::strlen(m_pch));
    m_nLength = nNewLength;
    m_pch[m_nLength] = '\0';
}

// The source may be this string's own text: the old buffer goes only after the copy.
void CString::Assign(const char* pch, int nLength)
{
    if (nLength < 0)
        nLength = 0;
    char* pOld = Reserve(nLength);
    std::memmove(m_pch, pch, static_cast<size_t>(nLength));
    delete[] pOld;
    m_nLength = nLength;
    m_pch[m_nLength] = '\0';
}

void CString::Append(const char* pch, int nLength)
{
    if (nLength <= 0)
        return;
    char* pOld = Reserve(m_nLength + nLength);
    std::memmove(m_pch + m_nLength, pch, static_cast<size_t>(nLength));
    delete[] pOld;
    m_nLength += nLength;
    m_pch[m_nLength] = '\0';
}

CString& CString::operator=(const CString& s)
{
    if (this != &s)
        Assign(s.GetString(), s.m_nLength);
    return *this;
}

CString& CString::operator=(const char* psz)
{
    Assign(psz ? psz : "", psz ? static_cast<int>(std::strlen(psz)) : 0);
    return *this;
}

CString& CString::operator+=(const char* psz)
{
    if (psz)
        Append(psz, static_cast<int>(std::strlen(psz)));
    return *this;
}

int CString::Find(char ch) const
{
    const char* p = GetString();
    for (int i = 0; i < m_nLength; ++i) {
        unsigned char c = static_cast<unsigned char>(p[i]);
        if (static_cast<char>(c) == ch)
            return i;
        if (IsDBCSLeadByte(c) && i + 1 < m_nLength)
            ++i;
    }
    return -1;
}

int CString::Find(const char* pszSub) const
{
    if (!pszSub)
        return -1;
    const char* p = GetString();
    int n = static_cast<int>(std::strlen(pszSub));
    for (int i = 0; i + n <= m_nLength; ++i) {
        if (std::memcmp(p + i, pszSub, static_cast<size_t>(n)) == 0)
            return i;
        if (IsDBCSLeadByte(static_cast<unsigned char>(p[i])) && i + 1 < m_nLength)
            ++i;
    }
    return -1;
}

CString CString::Left(int nCount) const
{
    if (nCount < 0)
        nCount = 0;
    return CString(GetString(), nCount < m_nLength ? nCount : m_nLength);
}

CString CString::Mid(int nFirst) const
{
    return Mid(nFirst, m_nLength);
}

CString CString::Mid(int nFirst, int nCount) const
{
    if (nFirst < 0)
        nFirst = 0;
    if (nFirst >= m_nLength || nCount <= 0)
        return CString();
    int nAvail = m_nLength - nFirst;
    return CString(GetString() + nFirst, nCount < nAvail ? nCount : nAvail);
}

void CString::Format(const char* pszFormat, ...)
{
    // The C runtime's own printf, not the C99 one that the C++ headers
    // select: it is already in msvcrt.dll, where the other is linked in.
    va_list args;
    va_start(args, pszFormat);
    int n = _vscprintf(pszFormat, args);
    va_end(args);
    if (n < 0) {
        Empty();
        return;
    }
    va_start(args, pszFormat);
    _vsnprintf(GetBuffer(n), static_cast<size_t>(n) + 1, pszFormat, args);
    va_end(args);
    ReleaseBuffer(n);
}

bool CString::LoadString(unsigned int nID)
{
    // Resource strings are stored as UTF-16; the A call converts them.
    auto read = [nID](char* pch, int nSize) { return ::LoadStringA(GetModuleHandleA(nullptr), nID, pch, nSize); };
    return ReadGrowing(read, 1 << 20) > 0;
}

int CString::Compare(const char* psz) const
{
    return std::strcmp(GetString(), psz ? psz : "");
}

CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }
CString operator+(const char* a, const CString& b) { CString r(a); r += b; return r; }
bool operator==(const CString& a, const CString& b) { return a.Compare(b) == 0; }
bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
bool operator!=(const CString& a, const CString& b) { return !(a == b); }
bool operator!=(const CString& a, const char* b) { return !(a == b); }
bool operator!=(const char* a, const CString& b) { return !(a == b); }
