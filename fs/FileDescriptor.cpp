#include "fs/FileDescriptor.h"

#include <cerrno>
#include <unistd.h>

namespace modFSO
{

int FileDescriptor::close()
{
    const int rc = ::close(m_fd);
    m_fd = -1;
    return rc == 0 ? 0 : errno;
}

void FileDescriptor::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

int writeAll(int fd, QByteArrayView bytes, std::optional<off_t> offset)
{
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written
            = offset ? ::pwrite(fd, data, size_t(left), *offset) : ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return ENOSPC;
        data += written;
        left -= written;
        if (offset)
            *offset += written;
    }
    return 0;
}

} // namespace modFSO
