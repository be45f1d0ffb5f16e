// A file handle of ours, closed when it goes.
#pragma once

#include <windows.h>

class CFileHandle {
public:
    explicit CFileHandle(HANDLE h = INVALID_HANDLE_VALUE) : m_h(h) {}
    ~CFileHandle() { Close(); }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    operator HANDLE() const { return m_h; }
    bool IsOpen() const { return m_h != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h)
    {
        Close();
        m_h = h;
    }
    void Close()
    {
        if (IsOpen())
            ::CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_h;
};
