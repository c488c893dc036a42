#pragma once

#include <QtGlobal>

// What kind of file system holds an open file or folder, as far as a transfer cares: whether
// anything of it survives a power cut, and whether this machine's kernel sees every writer of
// its files and sets their times by this machine's clock.
namespace modFSO
{

enum class FileSystemKind {
    // tmpfs, ramfs: nothing survives a power cut, so nothing needs flushing.
    Memory,
    // A disk or stick that this kernel drives (ext4, xfs, btrfs, vfat, exfat, ...): every
    // writer goes through this kernel, and its clock sets the times.
    Local,
    // FUSE, NFS, CIFS and the like: writers may be on another machine or underneath, the
    // times come from another clock, and attributes may come from a cache.
    Shared,
};

FileSystemKind fileSystemKind(int fd);
// The kind of a file system of this type (statfs's f_type).
FileSystemKind fileSystemKindOfType(qint64 type);

} // namespace modFSO
