// Whether a file is ready to go, as a table: the lease's answer where it sees every writer, and
// elsewhere the settle time, by the program's own looks and by the file's times, whichever clock
// the file system keeps.
#include "fs/Readiness.h"

#include <gtest/gtest.h>

namespace
{

using modFSO::FileLook;
using modFSO::detail::WriterState;
using modFSO::Readiness::Facts;
using modFSO::Readiness::State;

constexpr qint64 Second = 1000000000;
// This machine's clock: some day in 2026.
constexpr qint64 Now = qint64(1796990000) * Second;

Facts settling(WriterState writer, bool lease, qint64 lastChange, bool ourClock, qint64 newest = 0)
{
    Facts facts;
    facts.writer = writer;
    facts.leaseSeesEveryWriter = lease;
    facts.settleSeconds = 10;
    facts.look = FileLook {4096, lastChange, lastChange};
    facts.nowNs = Now;
    facts.timesFromThisClock = ourClock;
    facts.newestChangeNs = newest;
    return facts;
}

TEST(ReadinessTest, TheLeaseDecidesWhereItCanElseTheFileMustHaveSettled)
{
    struct Row {
        const char *what;
        Facts facts;
        State state;
        qint64 waitMs;
    };
    Facts seenStill = settling(WriterState::Unknown, false, Now - 1 * Second, true);
    seenStill.unchangedForMs = 12000;
    Facts noSettleTime = settling(WriterState::Unknown, false, Now, false);
    noSettleTime.settleSeconds = 0;
    const Row rows[] = {
        {"a writer on this machine", settling(WriterState::Writing, true, Now - 3600 * Second, true),
            State::InUse, 0},
        {"the user's file that nobody writes", settling(WriterState::None, true, Now, true), State::Ready, 0},
        {"another user's file changed 3 s ago", settling(WriterState::Unknown, false, Now - 3 * Second, true),
            State::Settling, 7000},
        {"another user's file changed an hour ago",
            settling(WriterState::Unknown, false, Now - 3600 * Second, true), State::Ready, 0},
        // The file is the newest there: only the program's own looks can tell how long it stayed.
        {"the lease granted on a share sees no writer elsewhere",
            settling(WriterState::None, false, Now - 3 * Second, false, Now - 3 * Second), State::Settling,
            10000},
        {"a share's file, old beside the newest change there",
            settling(WriterState::Unknown, false, Now - 3600 * Second, false, Now - 2 * Second), State::Ready,
            0},
        // A server whose clock is a year behind: its newest file is the one being written.
        {"a share a year behind, its newest file",
            settling(
                WriterState::Unknown, false, Now - 365 * 86400 * Second, false, Now - 365 * 86400 * Second),
            State::Settling, 10000},
        // A server whose clock is ahead: the file's time lies in this machine's future.
        {"a share an hour ahead",
            settling(WriterState::Unknown, false, Now + 3600 * Second, false, Now + 3600 * Second),
            State::Settling, 10000},
        {"the program's own looks saw it still for 12 s", seenStill, State::Ready, 0},
        {"no settle time: the lease and the check after the copy alone", noSettleTime, State::Ready, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const modFSO::Readiness::Verdict verdict = modFSO::Readiness::decide(row.facts);
        EXPECT_EQ(verdict.state, row.state);
        EXPECT_EQ(verdict.waitMs, row.waitMs);
    }
}

// The program's looks count how long a file has stayed the same; a change starts the count anew,
// and a listing forgets the files that are gone.
TEST(ReadinessTest, LooksCountHowLongAFileStayedTheSame)
{
    qint64 clockMs = 1000;
    modFSO::FileLooks looks;
    looks.setClock([&] { return clockMs; });
    const FileLook first {10, 1, 1};
    const FileLook grown {20, 2, 2};
    EXPECT_EQ(looks.note("/share", "a", first), 0);
    clockMs += 4000;
    EXPECT_EQ(looks.note("/share", "a", first), 4000);
    EXPECT_EQ(looks.note("/share", "a", grown), 0);
    clockMs += 1000;
    EXPECT_EQ(looks.note("/share", "a", grown), 1000);
    modFSO::NameList listed;
    listed.append("b");
    looks.keepOnly("/share", listed);
    EXPECT_EQ(looks.note("/share", "a", grown), 0);
}

} // namespace
