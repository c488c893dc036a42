#pragma once

#include <QByteArray>
#include <functional>

// Where a test can act inside the file operations, and the questions the operations ask of
// it. Without a test nothing is set, and each question costs one atomic load.
namespace modFSO
{

// Lets a test act inside a copy: after each chunk of data (a stop there leaves a copy half
// written), once the data is complete, right before the copy takes its name, and, where the
// complete copy has a hidden name first (no unnamed files, or Overwrite), right before the
// rename that gives it its own. The callbacks run on the thread that copies.
namespace testing
{
struct CopyObserver {
    std::function<void(const QByteArray &name)> afterChunk;
    std::function<void(const QByteArray &name)> beforePlacement;
    std::function<void(const QByteArray &hiddenName)> beforeRename;
};
void setCopyObserver(const CopyObserver *observer);
// Behaves as a kernel that refuses linkat(..., AT_EMPTY_PATH), as kernels do for processes
// without CAP_DAC_READ_SEARCH.
void refuseEmptyPathLinks(bool refuse);
// Behaves as a file system without unnamed files (O_TMPFILE), such as vfat.
void refuseUnnamedFiles(bool refuse);
} // namespace testing

namespace detail
{
void notifyAfterChunk(const QByteArray &name);
void notifyBeforePlacement(const QByteArray &name);
void notifyBeforeRename(const QByteArray &hiddenName);
bool emptyPathLinksRefused();
bool unnamedFilesRefused();
} // namespace detail

} // namespace modFSO
