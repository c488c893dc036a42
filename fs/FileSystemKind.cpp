#include "fs/FileSystemKind.h"

#include <sys/vfs.h>

namespace modFSO
{

namespace
{

// From linux/magic.h and the file systems' own headers; not every system ships them all.
constexpr quint32 TmpfsMagic = 0x01021994;
constexpr quint32 RamfsMagic = 0x858458f6;
constexpr quint32 FuseMagic = 0x65735546;
constexpr quint32 NfsMagic = 0x6969;
constexpr quint32 SmbMagic = 0x517B;
constexpr quint32 CifsMagic = 0xFF534D42;
constexpr quint32 Smb2Magic = 0xFE534D42;
constexpr quint32 V9fsMagic = 0x01021997;
constexpr quint32 CephMagic = 0x00C36400;
constexpr quint32 AfsMagic = 0x5346414F;
constexpr quint32 KafsMagic = 0x6B414653;
constexpr quint32 CodaMagic = 0x73757245;
constexpr quint32 OcfsMagic = 0x7461636f;
constexpr quint32 GfsMagic = 0x01161970;
constexpr quint32 LustreMagic = 0x0BD00BD0;
constexpr quint32 GpfsMagic = 0x47504653;
constexpr quint32 NcpMagic = 0x564C;

} // namespace

FileSystemKind fileSystemKindOfType(qint64 type)
{
    // The magic numbers are 32 bits wide; where long is too, some come out negative.
    switch (quint32(type)) {
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
    case KafsMagic:
    case CodaMagic:
    case OcfsMagic:
    case GfsMagic:
    case LustreMagic:
    case GpfsMagic:
    case NcpMagic:
        return FileSystemKind::Shared;
    default:
        return FileSystemKind::Local;
    }
}

FileSystemKind fileSystemKind(int fd)
{
    struct statfs info {
    };
    // What cannot be asked is taken for the kind that trusts the least.
    if (::fstatfs(fd, &info) != 0)
        return FileSystemKind::Shared;
    return fileSystemKindOfType(qint64(info.f_type));
}

} // namespace modFSO
