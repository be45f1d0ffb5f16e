// A save's temporary file beside the file it is to replace, named for this
// process and save, so that another save tells a leftover from it. It goes
// with the object unless it went in place.
#pragma once

#include <windows.h>

#include "platform/cstring.h"
#include "platform/cfile_handle.h"

class CSaveTempFile {
public:
    // With bCopy a copy of file, so that its named streams (a download's
    // Zone.Identifier, say) and attributes go with it; then open for writing.
    CSaveTempFile(const CString& file, bool bCopy, unsigned nSave);
    ~CSaveTempFile();
    CSaveTempFile(const CSaveTempFile&) = delete;
    CSaveTempFile& operator=(const CSaveTempFile&) = delete;

    bool IsOpen() const { return m_handle.IsOpen(); }
    HANDLE GetHandle() const { return m_handle; }
    const CString& GetPath() const { return m_strPath; }
    // Open for reading only from here, to others too: what is checked is
    // what goes in place.
    bool HoldForReading();
    // Renamed over file in one step, or file left as it was.
    bool MoveOver(const CString& file);

    // What saves that a crash, a kill or a power cut ended left beside file:
    // temporary files named for a process that runs no more (or for this
    // one), and the one name that earlier versions used. One that cannot be
    // removed (another user's) stays, and is never read.
    static void RemoveLeftovers(const CString& file);

private:
    CString m_strPath;
    CFileHandle m_handle;
    bool m_bMoved = false;
};
