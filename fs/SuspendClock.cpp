#include "fs/SuspendClock.h"

#include <chrono>
#include <ctime>

namespace SuspendClock
{

qint64 nowMs()
{
#ifdef CLOCK_BOOTTIME
    struct timespec now {
    };
    if (::clock_gettime(CLOCK_BOOTTIME, &now) == 0)
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
    // Elsewhere the steady clock is the best at hand: it ignores the wall clock, though it may
    // stand still during a sleep.
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace SuspendClock
