// Multibyte text in the ANSI code page (932 for our users).
#pragma once

#include <windows.h>

class CString {
public:
    CString() {}
    CString(const char* psz);
    CString(const char* pch, int nLength);
    CString(const CString& s);
    ~CString();

    int GetLength() const { return m_nLength; }
    bool IsEmpty() const { return m_nLength == 0; }
    void Empty();
    operator const char*() const { return GetString(); }
    const char* GetString() const { return m_pch ? m_pch : ""; }

    // Room for nMinLength bytes and a terminator; ReleaseBuffer(n) keeps the
    // first n bytes (up to the first null when n < 0).
    char* GetBuffer(int nMinLength);
    void ReleaseBuffer(int nNewLength = -1);
    // Fills the string by read(buffer, size), a call that stores at most
    // size - 1 bytes and returns how many (negative: none). A result that
    // may have been cut short is read again into a larger buffer, up to
    // nMaxSize bytes. Returns read's last result.
    template <class Read>
    int ReadGrowing(Read read, int nMaxSize)
    {
        for (int nSize = 256;; nSize *= 2) {
            int n = read(GetBuffer(nSize - 1), nSize);
            if (n < nSize - 2 || nSize >= nMaxSize) {
                ReleaseBuffer(n < 0 ? 0 : n < nSize ? n : nSize - 1);
                return n;
            }
        }
    }

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

    CString& operator=(const CString& s);
    CString& operator=(const char* psz);
    CString& operator+=(const CString& s) { Append(s.GetString(), s.m_nLength); return *this; }
    CString& operator+=(const char* psz);
    CString& operator+=(char ch) { Append(&ch, 1); return *this; }
    // nLength bytes of pch, nulls included.
    void Append(const char* pch, int nLength);

    // Byte-wise comparison, as _mbscmp orders code page 932 text.
    int Compare(const char* psz) const;

private:
    // Room for nLength bytes and a terminator, the text kept; returns the
    // buffer that growing replaced (null if none), for the caller to free.
    char* Reserve(int nLength);
    void Assign(const char* pch, int nLength);

    char* m_pch = nullptr;  // null while nothing was ever stored
    int m_nLength = 0;
    int m_nAlloc = 0;       // bytes of m_pch, the terminator's included
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
