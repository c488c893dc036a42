#include "engine/FileDecision.h"

#include <cerrno>

namespace FileDecision
{

using modFSO::FsError;
using modFSO::Placement;

bool needsLook(const Plan &plan, bool freeSpaceChecked)
{
    return !(plan.move && plan.renames && !plan.overwrite && !freeSpaceChecked);
}

bool listingAnswers(const Plan &plan, bool freeSpaceChecked, bool lackedAtStart)
{
    return lackedAtStart && !plan.overwrite && !freeSpaceChecked;
}

Verdict decide(const Plan &plan, const Facts &facts)
{
    if (facts.exists.value_or(false) && plan.move && facts.moveUnfinished)
        return {true, Placement::NoReplace, Result::Done, true};
    if (facts.exists.value_or(false)) {
        const bool transfer = plan.overwrite && !facts.sameFile;
        return {transfer, Placement::Replace, transfer ? Result::Replaced : Result::KeptExisting};
    }
    if (facts.fits == false)
        return {false, Placement::NoReplace, Result::NoSpace};
    const bool replace = !plan.move && plan.overwrite && !facts.fits.has_value();
    return {true, replace ? Placement::Replace : Placement::NoReplace, Result::Done};
}

Result resultOf(
    const Facts &facts, const Verdict &verdict, const std::optional<FsError> &error, bool replaced)
{
    if (!error)
        return replaced && verdict.result == Result::Done ? Result::Replaced : verdict.result;
    switch (error->kind) {
    case FsError::Kind::SourceInUse:
        return Result::InUse;
    case FsError::Kind::SourceSettling:
        return Result::StillWritten;
    case FsError::Kind::SourceChanged:
        return Result::Changed;
    case FsError::Kind::SourceChangedAfterNaming:
        return Result::Failed;
    case FsError::Kind::System:
        break;
    }
    if (error->code == ECANCELED)
        return Result::Stopped;
    // The destination's file of that name is not the copy that the cut-off move made.
    if (error->code == EEXIST && verdict.finishesMove)
        return Result::KeptExisting;
    // Nobody looked before: the placement's answer says that the name is taken.
    if (error->code == EEXIST && !facts.exists.has_value() && verdict.placement == Placement::NoReplace)
        return Result::KeptExisting;
    return Result::Failed;
}

} // namespace FileDecision
