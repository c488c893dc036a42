#pragma once

#include "fs/FsError.h"
#include "fs/TransferFolders.h"

#include <optional>

// What a run does with one file and what becomes of it, decided from what is known of the
// file and nothing else: no files, no threads. The run learns the facts step by step (whether
// the destination has the name, whether the file fits, what the transfer answered), and each
// step asks here what follows.
namespace FileDecision
{

struct Plan {
    bool move = false;
    bool overwrite = false;
    // Source and destination lie on one file system: a move is a rename.
    bool renames = false;
};

// What became of one file.
enum class Result : unsigned char {
    Stopped, // the run was stopped before its turn: nothing happened to it
    Done, // copied or moved under a new name
    Replaced, // the existing file of that name gave way to it
    KeptExisting, // a file of that name exists and stays
    NoSpace, // the free-space check turned it away
    InUse, // another program still writes it: it is left for the next run
    StillWritten, // no lease vouches for it and it changed within the settle time: left too
    Changed, // it changed while it was copied: the copy was dropped, it is left for the next run
    Failed, // the error says why
};

// What is known before the transfer.
struct Facts {
    // Whether a file (or anything) of that name is in the destination; unknown when nobody
    // looked (see needsLook).
    std::optional<bool> exists;
    // The destination's file of that name is the source file itself.
    bool sameFile = false;
    // What the free-space check said; no value when there was no check.
    std::optional<bool> fits;
    // A move of this file into the destination was cut off after its copy took its name.
    bool moveUnfinished = false;
};

struct Verdict {
    bool transfer = false;
    modFSO::Placement placement = modFSO::Placement::NoReplace;
    // The result when the transfer is not made, or when it is made and succeeds.
    Result result = Result::Done;
    // The transfer ends that cut-off move: the source goes once the destination is proven to
    // hold its copy.
    bool finishesMove = false;
};

// Whether the destination must be looked at before the transfer. A rename that must not
// replace finds out by itself, in the same step, whether the name is taken.
bool needsLook(const Plan &plan, bool freeSpaceChecked);
// Whether the destination's listing at the start of the run stands in for that look, for a
// name the destination lacked then: a transfer that must not replace finds a name that was
// taken since by itself. Overwrite looks, to tell a replaced file from a new one.
bool listingAnswers(const Plan &plan, bool freeSpaceChecked, bool lackedAtStart);

// A name the destination has stays unless Overwrite is ticked, and never gives way to the
// file itself; a new file is transferred when it fits, without replacing anything that takes
// the name meanwhile, except that a copy made with Overwrite and without the check replaces.
// A move cut off after its copy took its name is finished.
Verdict decide(const Plan &plan, const Facts &facts);

// What became of a file that was to be transferred, from the transfer's answer: its error, and
// whether a file of that name gave way to it.
Result resultOf(
    const Facts &facts, const Verdict &verdict, const std::optional<modFSO::FsError> &error, bool replaced);

} // namespace FileDecision
