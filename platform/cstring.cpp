#include "platform/cstring.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

int CString::Find(char ch) const
{
    for (size_t i = 0; i < m_text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(m_text[i]);
        if (static_cast<char>(c) == ch)
            return static_cast<int>(i);
        if (IsDBCSLeadByte(c) && i + 1 < m_text.size())
            ++i;
    }
    return -1;
}

int CString::Find(const char* pszSub) const
{
    if (!pszSub)
        return -1;
    size_t n = std::strlen(pszSub);
    for (size_t i = 0; i + n <= m_text.size(); ++i) {
        if (m_text.compare(i, n, pszSub) == 0)
            return static_cast<int>(i);
        if (IsDBCSLeadByte(static_cast<unsigned char>(m_text[i])) && i + 1 < m_text.size())
            ++i;
    }
    return -1;
}

CString CString::Left(int nCount) const
{
    if (nCount < 0)
        nCount = 0;
    return CString(m_text.c_str(), nCount < GetLength() ? nCount : GetLength());
}

CString CString::Mid(int nFirst) const
{
    return Mid(nFirst, GetLength());
}

CString CString::Mid(int nFirst, int nCount) const
{
    if (nFirst < 0)
        nFirst = 0;
    if (nFirst >= GetLength() || nCount <= 0)
        return CString();
    int nAvail = GetLength() - nFirst;
    return CString(m_text.c_str() + nFirst, nCount < nAvail ? nCount : nAvail);
}

void CString::Format(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, pszFormat, copy);
    va_end(copy);
    if (n < 0) {
        m_text.clear();
    } else {
        std::vector<char> buf(static_cast<size_t>(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), pszFormat, args);
        m_text.assign(buf.data(), static_cast<size_t>(n));
    }
    va_end(args);
}

bool CString::LoadString(unsigned int nID)
{
    // Resource strings are stored as UTF-16; the A call converts them.
    std::vector<char> buf(256);
    for (;;) {
        int n = ::LoadStringA(GetModuleHandleA(nullptr), nID, buf.data(),
                              static_cast<int>(buf.size()));
        if (n <= 0) {
            m_text.clear();
            return false;
        }
        if (static_cast<size_t>(n) < buf.size() - 2) {
            m_text.assign(buf.data(), static_cast<size_t>(n));
            return true;
        }
        buf.resize(buf.size() * 2);
    }
}

int CString::Compare(const char* psz) const
{
    return std::strcmp(m_text.c_str(), psz ? psz : "");
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
