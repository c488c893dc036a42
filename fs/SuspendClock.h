#pragma once

#include <QtGlobal>
#include <functional>

// Milliseconds that go on while the machine sleeps and that no change of the wall clock moves
// (a time zone, a correction): the clock of the schedule, whose Qt timers stand still during a
// sleep so that it reads this clock at every tick, and of the program's looks at files that
// must stay unchanged for a while.
namespace SuspendClock
{

// Milliseconds since some fixed moment (the boot, on Linux).
using Clock = std::function<qint64()>;

qint64 nowMs();

} // namespace SuspendClock
