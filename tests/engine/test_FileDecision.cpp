// The decision for one file as a table: what is known before the transfer gives transfer or
// not, the placement and the result; the transfer's answer gives what became of the file.
#include "engine/FileDecision.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace
{

using FileDecision::Facts;
using FileDecision::Plan;
using FileDecision::Result;
using modFSO::FsError;
using modFSO::Placement;

struct Row {
    const char *what;
    Plan plan;
    Facts facts;
    bool transfer;
    Placement placement;
    Result result;
};

TEST(FileDecisionTest, WhatIsKnownBeforeTheTransferDecidesIt)
{
    const Plan copy {false, false, false};
    const Plan copyOver {false, true, false};
    const Plan rename {true, false, true};
    const Plan moveOver {true, true, false};
    const Plan moveAcross {true, false, false};
    const Row rows[] = {
        {"copy onto an existing name", copy, {true, false, {}}, false, Placement::Replace,
            Result::KeptExisting},
        {"overwrite an existing file", copyOver, {true, false, {}}, true, Placement::Replace,
            Result::Replaced},
        {"overwrite the file with itself", copyOver, {true, true, {}}, false, Placement::Replace,
            Result::KeptExisting},
        {"a new file without the check", copy, {false, false, {}}, true, Placement::NoReplace, Result::Done},
        {"a new file, Overwrite, no check", copyOver, {false, false, {}}, true, Placement::Replace,
            Result::Done},
        {"a new file, Overwrite, it fits", copyOver, {false, false, true}, true, Placement::NoReplace,
            Result::Done},
        {"a new file that does not fit", copy, {false, false, false}, false, Placement::NoReplace,
            Result::NoSpace},
        {"an existing name does not ask for room", copy, {true, false, false}, false, Placement::Replace,
            Result::KeptExisting},
        {"a rename nobody looked for", rename, {{}, false, {}}, true, Placement::NoReplace, Result::Done},
        {"a move with Overwrite never replaces a new name", moveOver, {false, false, {}}, true,
            Placement::NoReplace, Result::Done},
        {"a cut-off move's copy is there: the move is finished", moveAcross, {true, false, {}, true}, true,
            Placement::NoReplace, Result::Done},
        {"a cut-off move whose name is free moves anew", moveAcross, {false, false, {}, true}, true,
            Placement::NoReplace, Result::Done},
        {"a copy knows nothing of cut-off moves", copy, {true, false, {}, true}, false, Placement::Replace,
            Result::KeptExisting},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const FileDecision::Verdict verdict = FileDecision::decide(row.plan, row.facts);
        EXPECT_EQ(verdict.transfer, row.transfer);
        EXPECT_EQ(verdict.finishesMove, row.plan.move && row.facts.moveUnfinished && *row.facts.exists);
        if (row.transfer || row.facts.exists.value_or(false)) {
            EXPECT_EQ(verdict.placement, row.placement);
        }
        EXPECT_EQ(verdict.result, row.result);
    }
    EXPECT_FALSE(FileDecision::needsLook(rename, false));
    EXPECT_TRUE(FileDecision::needsLook(rename, true)) << "the check looks at the name first";
    EXPECT_TRUE(FileDecision::needsLook(copy, false));
    EXPECT_TRUE(FileDecision::needsLook(moveOver, false));
    EXPECT_TRUE(FileDecision::listingAnswers(copy, false, true))
        << "the copy's placement finds the name taken";
    EXPECT_FALSE(FileDecision::listingAnswers(copy, false, false));
    EXPECT_FALSE(FileDecision::listingAnswers(copyOver, false, true))
        << "a replaced file is told from a new one";
    EXPECT_FALSE(FileDecision::listingAnswers(copy, true, true)) << "the check looked already";
}

TEST(FileDecisionTest, TheTransfersAnswerTellsWhatBecameOfTheFile)
{
    const auto error = [](FsError::Kind kind, int code) {
        FsError e = FsError::fromErrno(FsError::Operation::CopyFile, code);
        e.kind = kind;
        return std::optional<FsError>(e);
    };
    const Facts looked {false, false, {}};
    const Facts unlooked {{}, false, {}};
    const FileDecision::Verdict copyNew {true, Placement::NoReplace, Result::Done};
    const FileDecision::Verdict replace {true, Placement::Replace, Result::Replaced};

    const FileDecision::Verdict finish {true, Placement::NoReplace, Result::Done, true};
    struct Answer {
        const char *what;
        Facts facts;
        FileDecision::Verdict verdict;
        std::optional<FsError> error;
        bool replaced;
        Result result;
    };
    const Answer answers[] = {
        {"copied", looked, copyNew, std::nullopt, false, Result::Done},
        {"replaced as decided", looked, replace, std::nullopt, false, Result::Replaced},
        // A case-insensitive destination: another spelling of the name gave way.
        {"replaced a name nobody saw", looked, copyNew, std::nullopt, true, Result::Replaced},
        {"in use", looked, copyNew, error(FsError::Kind::SourceInUse, EBUSY), false, Result::InUse},
        {"still settling", looked, copyNew, error(FsError::Kind::SourceSettling, EBUSY), false,
            Result::StillWritten},
        {"changed", looked, copyNew, error(FsError::Kind::SourceChanged, EBUSY), false, Result::Changed},
        {"changed after naming", looked, copyNew, error(FsError::Kind::SourceChangedAfterNaming, EBUSY),
            false, Result::Failed},
        {"stopped", looked, copyNew, error(FsError::Kind::System, ECANCELED), false, Result::Stopped},
        // A name that appeared after the look is another program's file: an error, not "exists".
        {"a name appeared after the look", looked, copyNew, error(FsError::Kind::System, EEXIST), false,
            Result::Failed},
        {"the placement found the name taken", unlooked, copyNew, error(FsError::Kind::System, EEXIST), false,
            Result::KeptExisting},
        {"the destination holds another file than the cut-off move's copy", looked, finish,
            error(FsError::Kind::System, EEXIST), false, Result::KeptExisting},
        {"a failure", unlooked, copyNew, error(FsError::Kind::System, EIO), false, Result::Failed},
    };
    for (const Answer &answer : answers) {
        SCOPED_TRACE(answer.what);
        EXPECT_EQ(FileDecision::resultOf(answer.facts, answer.verdict, answer.error, answer.replaced),
            answer.result);
    }
}

} // namespace
