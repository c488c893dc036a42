#include "fs/FileSystemKind.h"

#include <sys/vfs.h>

namespace modFSO
{

namespace
{

// From linux/magic.h and the file systems' own headers; not every system ships them all.
constexpr unsigned long TmpfsMagic = 0x01021994;
constexpr unsigned long RamfsMagic = 0x858458f6;
constexpr unsigned long FuseMagic = 0x65735546;
constexpr unsigned long NfsMagic = 0x6969;
constexpr unsigned long SmbMagic = 0x517B;
constexpr unsigned long CifsMagic = 0xFF534D42;
constexpr unsigned long Smb2Magic = 0xFE534D42;
constexpr unsigned long V9fsMagic = 0x01021997;
constexpr unsigned long CephMagic = 0x00C36400;
constexpr unsigned long AfsMagic = 0x5346414F;
constexpr unsigned long CodaMagic = 0x73757245;
constexpr unsigned long OcfsMagic = 0x7461636f;
constexpr unsigned long GfsMagic = 0x01161970;

} // namespace

FileSystemKind fileSystemKind(int fd)
{
    struct statfs info {
    };
    // What cannot be asked is taken for the kind that trusts the least.
    if (::fstatfs(fd, &info) != 0)
        return FileSystemKind::Shared;
    switch (static_cast<unsigned long>(info.f_type)) {
    case TmpfsMagic:
    case RamfsMagic:
        return FileSystemKind::Memory;
    case FuseMagic:
    case NfsMagic:
    case SmbMagic:
    case CifsMagic:
    case Smb2Magic:
    case V9fsMagic:
    case CephMagic:
    case AfsMagic:
    case CodaMagic:
    case OcfsMagic:
    case GfsMagic:
        return FileSystemKind::Shared;
    default:
        return FileSystemKind::Local;
    }
}

} // namespace modFSO
