#pragma once

#include <chrono>

// Whether a second worker pays for files that are quick to copy depends on the machine: on
// some, two copies side by side take half the time for the same CPU time; on others the
// kernel's locks make them spend as much CPU time again as they save. So the run finds out: it
// copies a window of files with one worker, then one with two, keeps two only while they are
// clearly faster for hardly more CPU time, and tries again every few thousand files, less often
// while two keep costing too much.
class WorkerTrial
{
public:
    using Duration = std::chrono::nanoseconds;

    // What one window of files cost: the time it took and the CPU time of all the workers.
    struct Cost {
        Duration wall {};
        Duration cpu {};
    };

    static constexpr int WindowFiles = 512;

    // Whether two workers pay, from the cost of one window of as many files each.
    static bool pairPays(Cost alone, Cost paired);

    // Whether the second worker takes quick files in the window under way.
    bool paired() const
    {
        return m_step == Step::PairedWarmUp || m_step == Step::Paired
            || (m_step == Step::Settled && m_pairPays);
    }
    // The window under way ended and cost this much; tells whether the next one is paired.
    bool windowEnded(Cost cost);

private:
    // The first window warms the caches, and the first with two workers lets the second settle
    // in: neither is compared. A decision holds for a number of windows before the next trial;
    // after each trial in a row that finds two too costly, for twice as many, up to a limit.
    enum class Step { WarmUp, Alone, PairedWarmUp, Paired, Settled };
    static constexpr int SettledWindows = 8;
    static constexpr int LongestRestWindows = 64;

    void settle(bool pairPays);

    Step m_step = Step::WarmUp;
    Cost m_alone;
    bool m_pairPays = false;
    int m_settledLeft = 0;
    int m_restAfterCostly = SettledWindows;
};
