#pragma once

#include <QtGlobal>
#include <functional>

// The clock of the schedule: milliseconds that go on while the machine sleeps and that no
// change of the wall clock moves (a time zone, a correction). Qt's timers stand still during a
// sleep, so the schedule reads this clock at every tick instead of counting the ticks.
namespace SuspendClock
{

// Milliseconds since some fixed moment (the boot, on Linux).
using Clock = std::function<qint64()>;

qint64 nowMs();

} // namespace SuspendClock
