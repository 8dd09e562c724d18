#pragma once

namespace kalent {

// An exclusive lock on an open file, shared by every process that appends to
// it (the window, watch, the command line): held from the moment a writer
// looks at the file's size until its line is stored or taken back, so a line
// cut back after a failed write only ever takes its own bytes. Waits for the
// lock; the system releases it when the holder ends, however it ends.
// handle is the C runtime's descriptor (QFile::handle()).
class FileLock
{
public:
    explicit FileLock(int handle);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    // False when the file system keeps no locks (the append goes on unserialised).
    bool held() const { return m_held; }

private:
    int m_handle;
    bool m_held = false;
};

} // namespace kalent
