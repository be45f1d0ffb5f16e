// Multibyte text in the ANSI code page (932 for our users).
#pragma once

#include <windows.h>

#include <string>

class CString {
public:
    CString() {}
    CString(const char* psz) : m_text(psz ? psz : "") {}
    CString(const char* pch, int nLength) : m_text(pch, nLength > 0 ? nLength : 0) {}

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    operator const char*() const { return m_text.c_str(); }
    const char* GetString() const { return m_text.c_str(); }

    // Character-aware: a trail byte of a double-byte character never matches.
    int Find(char ch) const;
    int Find(const char* pszSub) const;
    CString Left(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;

    // printf-style; the arguments must not refer to this string's own text.
    void Format(const char* pszFormat, ...);
    // A string of the program's resources; false when it has none.
    bool LoadString(unsigned int nID);

    CString& operator=(const char* psz) { m_text = psz ? psz : ""; return *this; }
    CString& operator+=(const CString& s) { m_text += s.m_text; return *this; }
    CString& operator+=(const char* psz) { if (psz) m_text += psz; return *this; }
    CString& operator+=(char ch) { m_text += ch; return *this; }

    // Byte-wise comparison, as _mbscmp orders code page 932 text.
    int Compare(const char* psz) const;

private:
    std::string m_text;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const char* b);
CString operator+(const char* a, const CString& b);
bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, const char* b);
bool operator==(const char* a, const CString& b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, const char* b);
bool operator!=(const char* a, const CString& b);
