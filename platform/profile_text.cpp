#include "platform/profile_text.h"

#include <windows.h>

#include <cstring>
#include <mbstring.h>

namespace {

// What the private-profile functions strip around names and values: space,
// tab, VT, FF and Ctrl-Z. CR and LF end a line, alone or in any run. None of
// them, nor '=', is ever the trail byte of a double-byte character.
bool IsBlank(unsigned c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A;
}

bool IsBreak(unsigned c)
{
    return c == '\r' || c == '\n';
}

// A file's text in its units: bytes of the code page, or UTF-16 code units
// (after the byte-order mark) of either byte order.
struct Units {
    const unsigned char* p;
    int n;
    int width;  // 1 or 2 bytes
    bool bBig;
    // Every byte of a file passes here: the common case is kept small enough to inline.
    unsigned operator[](int i) const { return width == 1 ? p[i] : Wide(i); }
    unsigned Wide(int i) const { return bBig ? (p[2 * i] << 8 | p[2 * i + 1]) : (p[2 * i] | p[2 * i + 1] << 8); }
};

void Trim(const Units& u, int& begin, int& end)
{
    while (begin < end && IsBlank(u[begin]))
        ++begin;
    while (end > begin && IsBlank(u[end - 1]))
        --end;
}

// Units [begin, end) in the code page, for names to compare.
CString ToAnsi(const Units& u, int begin, int end)
{
    if (u.width == 1)
        return CString(reinterpret_cast<const char*>(u.p) + begin, end - begin);
    CString s;
    const int n = end - begin;
    wchar_t* wide = new wchar_t[n > 0 ? n : 1];
    for (int i = 0; i < n; ++i)
        wide[i] = static_cast<wchar_t>(u[begin + i]);
    int nBytes = ::WideCharToMultiByte(CP_ACP, 0, wide, n, nullptr, 0, nullptr, nullptr);
    if (nBytes > 0)
        s.ReleaseBuffer(::WideCharToMultiByte(CP_ACP, 0, wide, n, s.GetBuffer(nBytes), nBytes, nullptr, nullptr));
    delete[] wide;
    return s;
}

// Text of ours, in the file's units.
void AppendText(CString& out, const Units& u, const CString& text)
{
    if (u.width == 1) {
        out += text;
        return;
    }
    int n = ::MultiByteToWideChar(CP_ACP, 0, text, text.GetLength(), nullptr, 0);
    wchar_t* wide = new wchar_t[n > 0 ? n : 1];
    n = ::MultiByteToWideChar(CP_ACP, 0, text, text.GetLength(), wide, n);
    for (int i = 0; i < n; ++i) {
        const char pair[2] = {static_cast<char>(wide[i] & 0xFF), static_cast<char>(wide[i] >> 8)};
        out += pair[u.bBig ? 1 : 0];
        out += pair[u.bBig ? 0 : 1];
    }
    delete[] wide;
}

// Whether units [begin, end) spell name as reads match names: ignoring case.
// ASCII is compared here (keys and sections of ours are); past it, in the code
// page by the C run-time.
bool SameName(const Units& u, int begin, int end, const char* pszName)
{
    const char* p = pszName;
    for (int i = begin;; ++i, ++p) {
        unsigned a = i < end ? u[i] : 0, b = static_cast<unsigned char>(*p);
        if (a >= 0x80 || b >= 0x80)
            return _mbsicmp(reinterpret_cast<const unsigned char*>(ToAnsi(u, begin, end).GetString()),
                            reinterpret_cast<const unsigned char*>(pszName)) == 0;
        if (a == 0 || b == 0)
            return a == b && i == end;
        if ((a | 0x20) != (b | 0x20) || ((a | 0x20) - 'a' > 'z' - 'a' && a != b))
            return false;
    }
}

// The key that units [begin, end) name and no earlier line took, or -1. The
// search starts at hint and goes round: a saved list's lines come in its order.
int FindKey(const Units& u, int begin, int end, const CArray<CProfileValue>& values, CArray<bool>& taken, int& hint)
{
    const int count = values.GetSize();
    for (int j = 0; j < count; ++j) {
        int k = (hint + j) % count;
        if (!taken[k] && SameName(u, begin, end, values[k].strKey)) {
            taken[k] = true;
            hint = k + 1;
            return k;
        }
    }
    return -1;
}

// The end of the name of a key line [begin, end), blanks dropped: before the
// first '=', or the whole line (a key without a value, which reads as missing).
int KeyNameEnd(const Units& u, int begin, int end)
{
    int i = begin;
    while (i < end && u[i] != '=')
        ++i;
    while (i > begin && IsBlank(u[i - 1]))
        --i;
    return i;
}

// A section's header: '[', the name, and the last ']' of the line, which may
// be followed by anything. The name is trimmed. A trail byte may be ']'
// (0x5D): a double-byte character is stepped over whole.
bool HeaderName(const Units& u, int begin, int end, int& nameBegin, int& nameEnd)
{
    if (begin == end || u[begin] != '[')
        return false;
    int close = -1;
    for (int i = begin + 1; i < end; ++i) {
        if (u[i] == ']')
            close = i;
        else if (u.width == 1 && ::IsDBCSLeadByte(static_cast<BYTE>(u[i])) && i + 1 < end)
            ++i;
    }
    nameBegin = begin + 1;
    nameEnd = close;
    Trim(u, nameBegin, nameEnd);
    return close >= 0;
}

// Reads drop blanks at both ends and then one pair of enclosing quotes: such a
// value is quoted once more. A trail byte is never a blank or a quote, so the
// end bytes are characters.
bool NeedsQuotes(const CString& value)
{
    const int n = value.GetLength();
    if (n == 0)
        return false;
    unsigned char first = static_cast<unsigned char>(value[0]), last = static_cast<unsigned char>(value[n - 1]);
    return IsBlank(first) || IsBlank(last) || (n >= 2 && (first == '"' || first == '\'') && last == first);
}

// A key's line, in the code page: out grows by it without a string of its own.
void AppendKeyLine(CString& out, const CProfileValue& value)
{
    const bool bQuotes = NeedsQuotes(value.strValue);
    out += value.strKey;
    out += '=';
    if (bQuotes)
        out += '"';
    out += value.strValue;
    if (bQuotes)
        out += '"';
}

CArray<bool> NoneTaken(int count)
{
    CArray<bool> taken;
    for (int k = 0; k < count; ++k)
        taken.Add(false);
    return taken;
}

struct LineEdit {
    int from, to, key;
};

void EditUnits(const Units& u, const char* pszSection, const CArray<CProfileValue>& values, CString& out)
{
    const int count = values.GetSize(), n = u.n;
    CArray<bool> taken = NoneTaken(count);
    CArray<LineEdit> edits;
    bool bFound = false;
    int insertAt = n, hint = 0;
    for (int i = 0; i < n;) {
        int end = i;
        while (end < n && !IsBreak(u[end]))
            ++end;
        int next = end;
        while (next < n && IsBreak(u[next]))
            ++next;
        int begin = i, last = end, nameBegin = 0, nameEnd = 0;
        Trim(u, begin, last);
        if (HeaderName(u, begin, last, nameBegin, nameEnd)) {
            // Reads look no further than the first section of the name.
            if (bFound)
                break;
            bFound = SameName(u, nameBegin, nameEnd, pszSection);
            insertAt = bFound ? end : n;
        } else if (bFound && begin < last && u[begin] != ';') {
            insertAt = end;
            int k = FindKey(u, begin, KeyNameEnd(u, begin, last), values, taken, hint);
            if (k >= 0)
                edits.Add(LineEdit{i, end, k});
        }
        i = next;
    }
    const char* p = reinterpret_cast<const char*>(u.p);
    int cursor = 0;
    CString line;
    for (const LineEdit& edit : edits) {
        out.Append(p + cursor * u.width, (edit.from - cursor) * u.width);
        line.Empty();
        AppendKeyLine(line, values[edit.key]);
        AppendText(out, u, line);
        cursor = edit.to;
    }
    out.Append(p + cursor * u.width, (insertAt - cursor) * u.width);
    CString added;
    if (!bFound)
        added = CString(n > 0 && !IsBreak(u[n - 1]) ? "\r\n[" : "[") + pszSection + "]";
    for (int k = 0; k < count; ++k) {
        if (!taken[k]) {
            added += "\r\n";
            AppendKeyLine(added, values[k]);
        }
    }
    if (!bFound)
        added += "\r\n";
    AppendText(out, u, added);
    out.Append(p + insertAt * u.width, (n - insertAt) * u.width);
}

bool HasBreak(const char* psz)
{
    return std::strpbrk(psz, "\r\n") != nullptr;
}

// A name that reads find as it stands: no line break, no blank at either end.
bool IsPlainName(const CString& name)
{
    const int n = name.GetLength();
    return n > 0 && !IsBlank(static_cast<unsigned char>(name[0])) && !IsBlank(static_cast<unsigned char>(name[n - 1])) &&
           !HasBreak(name);
}

}  // namespace

bool SetProfileValues(const CString& bytes, const char* pszSection, const CArray<CProfileValue>& values,
                      CString& result)
{
    if (!IsPlainName(pszSection))
        return false;
    for (const CProfileValue& value : values) {
        unsigned first = static_cast<unsigned char>(value.strKey.GetString()[0]);
        if (!IsPlainName(value.strKey) || value.strKey.Find('=') >= 0 || first == ';' || first == '[' ||
            HasBreak(value.strValue))
            return false;
    }
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.GetString());
    const int n = bytes.GetLength();
    const bool bBig = n >= 2 && b[0] == 0xFE && b[1] == 0xFF, bWide = bBig || (n >= 2 && b[0] == 0xFF && b[1] == 0xFE);
    // UTF-16 after its mark; an odd byte at the end stays where it is.
    const Units units = {bWide ? b + 2 : b, bWide ? (n - 2) / 2 : n, bWide ? 2 : 1, bBig};
    result = bytes.Left(bWide ? 2 : 0);
    EditUnits(units, pszSection, values, result);
    result.Append(bytes.GetString() + n - (bWide ? n % 2 : 0), bWide ? n % 2 : 0);
    return true;
}

bool SectionReadsAs(const char* pszLines, const CArray<CProfileValue>& values)
{
    CArray<bool> taken = NoneTaken(values.GetSize());
    int hint = 0, nFound = 0;
    for (const char* p = pszLines; *p; p += std::strlen(p) + 1) {
        const Units line = {reinterpret_cast<const unsigned char*>(p), static_cast<int>(std::strlen(p)), 1, false};
        int begin = 0, end = line.n;
        Trim(line, begin, end);
        if (begin == end || p[begin] == ';')
            continue;
        const int nameEnd = KeyNameEnd(line, begin, end);
        int k = FindKey(line, begin, nameEnd, values, taken, hint);
        if (k < 0)
            continue;
        ++nFound;
        const char* pEquals = std::strchr(p + nameEnd, '=');
        if (!pEquals)
            return false;
        int valueBegin = static_cast<int>(pEquals - p) + 1;
        Trim(line, valueBegin, end);
        // As the file holds it, or as a read gives it: the profile functions
        // differ in whether a section's lines lose their quotes.
        const CString& given = values[k].strValue;
        const int n = end - valueBegin;
        if ((n != given.GetLength() || std::memcmp(p + valueBegin, given.GetString(), static_cast<size_t>(n)) != 0) &&
            CString(p + valueBegin, n) != ProfileValueToStore(given))
            return false;
    }
    return nFound == values.GetSize();
}

CString ProfileValueToStore(const char* psz)
{
    CString value(psz);
    return NeedsQuotes(value) ? "\"" + value + "\"" : value;
}

bool IsUtf8ProfileText(const char* pBytes, size_t nBytes)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pBytes);
    if (nBytes >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
        return true;
    if (nBytes >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF)))
        return false;
    bool bLong = false;
    for (size_t i = 0; i < nBytes;) {
        unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (n == 0 || i + n > nBytes)
            return false;
        // The second byte's range excludes overlong forms, surrogates and code points past U+10FFFF.
        unsigned char lo = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
        unsigned char hi = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
        if (p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (size_t k = 2; k < n; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return false;
        bLong = bLong || n >= 3;
        i += n;
    }
    return bLong;
}
