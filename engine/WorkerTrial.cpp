#include "engine/WorkerTrial.h"

#include <algorithm>

namespace
{

// Two workers must save a twentieth of the time, for at most a tenth more CPU time. The CPU
// time of one window of small files differs from the next by up to a tenth on a busy machine,
// and where the kernel's locks make two workers expensive they cost a fifth more or worse.
constexpr double MostWallShare = 0.95;
constexpr double MostCpuShare = 1.10;

} // namespace

bool WorkerTrial::pairPays(Cost alone, Cost paired)
{
    if (alone.wall.count() <= 0 || alone.cpu.count() <= 0)
        return false;
    return double(paired.wall.count()) <= MostWallShare * double(alone.wall.count())
        && double(paired.cpu.count()) <= MostCpuShare * double(alone.cpu.count());
}

bool WorkerTrial::windowEnded(Cost cost)
{
    switch (m_step) {
    case Step::WarmUp:
        m_step = Step::Alone;
        break;
    case Step::Alone:
        m_alone = cost;
        m_step = Step::PairedWarmUp;
        break;
    case Step::PairedWarmUp:
        m_step = Step::Paired;
        break;
    case Step::Paired:
        settle(pairPays(m_alone, cost));
        break;
    case Step::Settled:
        // Two that paid in their trial are still measured while they work: the second worker
        // only settles in during the trial, and may cost more once it has.
        if (m_pairPays && !pairPays(m_alone, cost))
            m_pairPays = false;
        if (--m_settledLeft == 0)
            m_step = Step::Alone;
        break;
    }
    return paired();
}

void WorkerTrial::settle(bool pairPays)
{
    m_pairPays = pairPays;
    m_step = Step::Settled;
    if (pairPays) {
        m_settledLeft = SettledWindows;
        m_restAfterCostly = SettledWindows;
        return;
    }
    m_settledLeft = m_restAfterCostly;
    m_restAfterCostly = std::min(2 * m_restAfterCostly, LongestRestWindows);
}
