// The trial of a second worker for quick files, as tables: what a paired window must save and
// may cost, and in which windows the second worker takes files.
#include "engine/WorkerTrial.h"

#include <gtest/gtest.h>
#include <vector>

namespace
{

using Cost = WorkerTrial::Cost;
using std::chrono::milliseconds;

Cost cost(int wallMs, int cpuMs)
{
    return {milliseconds(wallMs), milliseconds(cpuMs)};
}

TEST(WorkerTrialTest, TwoWorkersPayOnlyWhenFasterForHardlyMoreCpuTime)
{
    struct Row {
        const char *what;
        Cost alone;
        Cost paired;
        bool pays;
    };
    const Row rows[] = {
        {"half the time, the same CPU time", cost(30, 28), cost(15, 28), true},
        {"faster, a tenth more CPU time", cost(30, 28), cost(18, 30), true},
        {"faster, a fifth more CPU time", cost(30, 28), cost(18, 34), false},
        {"no faster, the same CPU time", cost(30, 28), cost(29, 28), false},
        {"slower", cost(30, 28), cost(40, 26), false},
        {"nothing measured alone", cost(0, 0), cost(15, 28), false},
    };
    for (const Row &row : rows)
        EXPECT_EQ(WorkerTrial::pairPays(row.alone, row.paired), row.pays) << row.what;
}

// Which windows are paired, from the first on, when window i costs costOf(i, paired).
template <typename CostOf> std::vector<bool> pairedWindows(CostOf costOf, int windows)
{
    WorkerTrial trial;
    std::vector<bool> seen;
    for (int i = 0; i < windows; ++i) {
        const bool now = trial.paired();
        seen.push_back(now);
        trial.windowEnded(costOf(i, now));
    }
    return seen;
}

// The same when every window alone costs `alone` and every paired one `paired`.
std::vector<bool> pairedWindows(Cost alone, Cost paired, int windows)
{
    return pairedWindows([=](int, bool now) { return now ? paired : alone; }, windows);
}

TEST(WorkerTrialTest, TheDecisionHoldsForEightWindowsAndIsThenTriedAgain)
{
    // Warm-up and one window alone, two paired (the first only lets the second worker settle
    // in), eight as decided, then the trial again.
    const std::vector<bool> paying {
        false, false, true, true, true, true, true, true, true, true, true, true, false, true, true, true};
    EXPECT_EQ(pairedWindows(cost(30, 28), cost(15, 28), 16), paying);
    const std::vector<bool> costly {false, false, true, true, false, false, false, false, false, false, false,
        false, false, true, true, false};
    EXPECT_EQ(pairedWindows(cost(30, 28), cost(15, 40), 16), costly);
}

TEST(WorkerTrialTest, TwoThatCostTooMuchAreTriedLessOftenAndDroppedOnceTheyDo)
{
    // Each trial in a row that finds two too costly doubles the rest before the next, up to 64
    // windows: the trials' paired windows start at these.
    const std::vector<bool> costly = pairedWindows(cost(30, 28), cost(15, 40), 210);
    std::vector<int> trialStarts;
    for (int i = 1; i < int(costly.size()); ++i) {
        if (costly[size_t(i)] && !costly[size_t(i) - 1])
            trialStarts.push_back(i);
    }
    EXPECT_EQ(trialStarts, (std::vector<int> {2, 13, 32, 67, 134, 201}));

    // Two that paid in their trial but cost too much from window 6 on work alone from window 7
    // until the next trial.
    const std::vector<bool> turning = pairedWindows(
        [](int i, bool now) { return !now ? cost(30, 28)
                                  : i < 6 ? cost(15, 28)
                                          : cost(15, 40); }, 16);
    const std::vector<bool> dropped {false, false, true, true, true, true, true, false, false, false, false,
        false, false, true, true, false};
    EXPECT_EQ(turning, dropped);
}

} // namespace
