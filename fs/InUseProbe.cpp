#include "fs/InUseProbe.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>

namespace modFSO::detail
{

namespace
{

// A writer that opens the file in the moment between taking the lease and giving it back
// makes the kernel signal the holder, with SIGIO unless told otherwise; its default action
// would end the program. The lease is given back right away in any case.
void ignoreLeaseBreaks()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {
        };
        if (::sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            ::signal(SIGIO, SIG_IGN);
    });
}

} // namespace

WriterState writerState(int fd)
{
    ignoreLeaseBreaks();
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return WriterState::None;
    }
    return errno == EAGAIN ? WriterState::Writing : WriterState::Unknown;
}

} // namespace modFSO::detail
