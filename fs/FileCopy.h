#pragma once

#include "fs/FileDescriptor.h"
#include "fs/TransferFolders.h"

#include <QByteArray>
#include <atomic>
#include <memory>
#include <stop_token>
#include <sys/stat.h>

// The pieces of a copy: a descriptor that closes itself, what a destination folder can do,
// the new file while it is written, and the data copy that keeps holes.
namespace modFSO::detail
{

// The answer of a copy whose source ended before the size it had when it was opened.
inline constexpr int SourceCutShort = -1;

using modFSO::FileDescriptor;

class RunTemporaries;

// What a destination folder can do (and whether the kernel copies into it from the source
// folder), learned once per folder pair and shared by the threads that write into it, and the
// hidden names that the run makes in it. A kernel or file system that refuses a way is not
// asked again.
struct FolderCaps {
    FolderCaps();
    ~FolderCaps();
    FolderCaps(const FolderCaps &) = delete;
    FolderCaps &operator=(const FolderCaps &) = delete;

    std::atomic<bool> unnamedFiles {true}; // O_TMPFILE
    std::atomic<bool> emptyPathLinks {true}; // linkat(fd, "", ..., AT_EMPTY_PATH)
    std::atomic<bool> kernelCopy {true}; // copy_file_range from the source folder's file system
    // Permission bits that new files would not get by themselves; with a default ACL the
    // folder decides the bits, so every copy sets them.
    mode_t creationMask = 0;
    bool defaultAcl = false;

    // Reads what the folder tells without a write, and starts the run's hidden names in it.
    void learn(int folder);
    // Whether the record of temporaries could not be used for this run's names.
    bool recordUnusable() const;
    RunTemporaries &temporaries() { return *m_temporaries; }

private:
    std::unique_ptr<RunTemporaries> m_temporaries;
};

// The new file while it is written. With O_TMPFILE it has no name at all, so a crash leaves
// nothing behind; otherwise it has a hidden name of the run's, recorded before it is made,
// that the listing of plain files skips and that the destructor removes unless the file was
// placed.
class TemporaryFile
{
public:
    TemporaryFile(int folder, FolderCaps &caps);
    ~TemporaryFile();
    TemporaryFile(TemporaryFile &&other) noexcept;
    TemporaryFile &operator=(TemporaryFile &&) = delete;
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    int fd() const { return m_fd.get(); }
    bool created() const { return m_fd.valid(); }
    // 0 or the errno of the failure.
    int create(mode_t mode);
    // Gives the complete file its name; 0 or the errno of the failure. Replace swaps it in for
    // an existing file in one rename, so the name always holds a complete file.
    int place(const QByteArray &name, Placement placement);

private:
    int createUnnamed(mode_t mode);
    int createHidden(mode_t mode);
    int linkUnnamed(const QByteArray &name) const;
    int linkUnderHiddenName();
    int renameHidden(const QByteArray &name, Placement placement);
    void hiddenNameGone();

    int m_folder;
    FolderCaps *m_caps;
    FileDescriptor m_fd;
    QByteArray m_hiddenName;
};

// Copies size bytes of in to out. A file with holes keeps them; a file system that can share
// blocks between the two files does so. flush starts writing the data to disk while it is
// copied, so that the final fsync does not wait for all of it. A stop is looked for after every
// MiB; it ends the copy with ECANCELED. A source that ends before its size is SourceCutShort.
// 0 or an errno.
int copyContents(int in, int out, const struct stat &source, bool flush, const QByteArray &name,
    FolderCaps &caps, const std::stop_token &stop);

// Mode bits and times of the source, where the target file system can hold them.
void keepModeAndTimes(int out, const struct stat &source, const FolderCaps &caps);

// Renames within one folder pair without replacing a target; EEXIST when the target exists.
int renameNoReplace(int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to);

// Hidden temporaries are named ".tessaro-<run's token>-<number>.part".
bool isTemporaryName(const QByteArray &name);

} // namespace modFSO::detail
