#pragma once

#include <QByteArrayView>
#include <optional>
#include <sys/types.h>

namespace modFSO
{

// An open file descriptor that closes itself.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1)
        : m_fd(fd)
    {
    }
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor &&other) noexcept
        : m_fd(other.release())
    {
    }
    FileDescriptor &operator=(FileDescriptor &&other) noexcept
    {
        reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes now and answers the errno of a late write error (network file systems report
    // them here), 0 when there was none.
    int close();
    void reset(int fd = -1);

private:
    int m_fd;
};

// Writes all of bytes, at offset when one is given and at the file's position otherwise; 0 or
// the errno of the failure (ENOSPC for a write that stopped short without one).
int writeAll(int fd, QByteArrayView bytes, std::optional<off_t> offset = std::nullopt);

} // namespace modFSO
