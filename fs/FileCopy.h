#pragma once

#include "fs/FileDescriptor.h"
#include "fs/TransferFolders.h"

#include <QByteArray>
#include <atomic>
#include <memory>
#include <mutex>
#include <stop_token>
#include <sys/stat.h>

// The pieces of a copy: a descriptor that closes itself, what a destination folder can do,
// the new file while it is written, and the data copy that keeps holes.
namespace modFSO::detail
{

using modFSO::FileDescriptor;

class RunTemporaries;

// What a destination folder's file system can do, and the hidden names that the run makes in
// it; one per run and destination, shared by the threads that write into it. learn() reads
// what needs no writing; the rest is found out once, with a hidden file of the run's, when the
// first copy or rename into the folder needs it (probe()). Each ability starts as "try it". An
// answer of the probe that means "not here" (on rclone mounts a link answers EIO) turns it
// off, and the copy takes the way that works without it; the same answer later, from an
// ability that the probe saw work, is an error.
struct FolderCaps {
    FolderCaps();
    ~FolderCaps();
    FolderCaps(const FolderCaps &) = delete;
    FolderCaps &operator=(const FolderCaps &) = delete;

    std::atomic<bool> unnamedFiles {true}; // O_TMPFILE
    std::atomic<bool> emptyPathLinks {true}; // linkat(fd, "", ..., AT_EMPTY_PATH)
    std::atomic<bool> hardLinks {true}; // linkat of a named file
    std::atomic<bool> noReplaceRename {true}; // renameat2(..., RENAME_NOREPLACE)
    // FAT, exFAT and CIFS take "report.txt" for "Report.txt"; only a probe with a name finds
    // out, so a destination with unnamed files counts as one that keeps the case of names.
    std::atomic<bool> caseInsensitive {false};
    std::atomic<bool> kernelCopy {true}; // copy_file_range from the source folder's file system
    std::atomic<bool> modes {true}; // permission bits
    std::atomic<bool> owners {true}; // another owner or group
    std::atomic<bool> userAttributes {true}; // user.* extended attributes
    std::atomic<bool> acls {true}; // system.posix_acl_* (POSIX ACLs)
    std::atomic<bool> otherAttributes {true}; // trusted.*, security.* and the like
    // Permission bits that new files would not get by themselves; with a default ACL the
    // folder decides the bits, so every copy sets them.
    mode_t creationMask = 0;
    bool defaultAcl = false;
    // The owner and group that a new file gets by itself.
    uid_t newOwner = 0;
    gid_t newGroup = 0;

    // Reads what the folder tells without a write, and starts the run's hidden names in it.
    void learn(int folder);
    // Finds out, once, what needs a file to try; later calls return at once.
    void probe();
    // Whether a file written with a hole keeps it (FAT and exFAT write the zeros); learned
    // once, with a file of its own, when first asked.
    bool keepsHoles();

    int folder() const { return m_folder; }
    // Whether the record of temporaries could not be used for this run's names.
    bool recordUnusable() const;
    RunTemporaries &temporaries() { return *m_temporaries; }

private:
    friend class FolderLock;
    void probeOnce();
    void probeNamed();
    void probeLinksAndRenames(QByteArray &name);
    void probeAttributes(int fd);
    bool probeHoles();

    int m_folder = -1;
    std::unique_ptr<RunTemporaries> m_temporaries;
    std::once_flag m_probed;
    std::once_flag m_holesLearned;
    std::atomic<bool> m_keepsHoles {false};
    // With the folder's flock, makes a look and a rename into the folder one step.
    std::mutex m_placing;
};

// Makes a look at a name and the rename that follows it one step for every instance of the
// program on this machine (and for every thread of this one): a flock on the destination
// folder itself, which every user who may write there can take, and which FUSE file systems
// keep in the kernel.
class FolderLock
{
public:
    explicit FolderLock(FolderCaps &caps);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    std::lock_guard<std::mutex> m_threads;
    int m_folder;
    bool m_locked = false;
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
    // Gives the complete file its name; 0 or the errno of the failure. NoReplace never takes
    // the place of a file (EEXIST). Replace names the file without replacing first, and only
    // when the name is taken (on a file system that ignores case, also by "Report.txt" for
    // "report.txt") swaps it in for the file there in one rename, so that the name always holds
    // a complete file; replaced then says so.
    int place(const QByteArray &name, Placement placement, bool *replaced = nullptr);

private:
    int createUnnamed(mode_t mode);
    int createHidden(mode_t mode);
    int linkUnnamed(const QByteArray &name) const;
    int linkUnderHiddenName();
    int renameHidden(const QByteArray &name, Placement placement, bool nameTaken, bool *replaced);
    void hiddenNameGone();

    int m_folder;
    FolderCaps *m_caps;
    FileDescriptor m_fd;
    QByteArray m_hiddenName;
};

// Copies size bytes of in to out. A file with holes keeps them; a file system that can share
// blocks between the two files does so. startWriting starts writing a large file's data to
// disk while it is copied, so that the flush before its naming does not wait for all of it. A
// stop is looked for after every MiB; it ends the copy with ECANCELED. A source that ends
// before its size changed while it was copied.
Failure copyContents(int in, int out, const struct stat &source, bool startWriting, const QByteArray &name,
    FolderCaps &caps, const std::stop_token &stop);

// Renames without replacing a target; EEXIST when the target exists. caps are those of
// toFolder. Where the file system has neither a rename that refuses to replace nor links, the
// look and the rename are made under the folder's lock.
int renameNoReplace(
    int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to, FolderCaps &caps);

// Removes the name from the folder when it still stands for the file of that identity (device
// and inode numbers), under the folder's lock: a clean-up takes only what it made itself. 0, or
// ESTALE when the name stands for another file, or the errno of the failure.
int removeIfSame(int folder, const QByteArray &name, const struct stat &identity, FolderCaps &caps);

// Hidden temporaries are named ".tessaro-<run's token>-<number>.part".
bool isTemporaryName(const QByteArray &name);

} // namespace modFSO::detail
