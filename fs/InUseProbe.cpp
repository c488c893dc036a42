#include "fs/InUseProbe.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>

namespace modFSO::detail
{

namespace
{

void leaseBroken(int)
{
}

// A writer that opens the file in the moment between taking the lease and giving it back
// makes the kernel signal the holder, with SIGIO unless told otherwise; its default action
// would end the program. The lease is given back right away in any case, so the signal needs
// no action; it is caught rather than ignored because an ignored signal stays ignored in every
// program this one starts (a browser), while a handler is reset when another program starts.
void catchLeaseBreaks()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {
        };
        if (::sigaction(SIGIO, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
            return;
        struct sigaction action {
        };
        action.sa_handler = leaseBroken;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGIO, &action, nullptr);
    });
}

} // namespace

WriterState writerState(int fd)
{
    catchLeaseBreaks();
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return WriterState::None;
    }
    return errno == EAGAIN ? WriterState::Writing : WriterState::Unknown;
}

} // namespace modFSO::detail
