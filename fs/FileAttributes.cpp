#include "fs/FileAttributes.h"

#include "fs/FileCopy.h"

#include <QByteArray>
#include <QList>
#include <cerrno>
#include <optional>
#include <sys/xattr.h>
#include <unistd.h>

namespace modFSO::detail
{

namespace
{

const char AccessAcl[] = "system.posix_acl_access";

enum class Family { User, Acl, Other };

Family familyOf(const QByteArray &name)
{
    if (name.startsWith("user."))
        return Family::User;
    return name.startsWith("system.posix_acl_") ? Family::Acl : Family::Other;
}

std::atomic<bool> &allowed(FolderCaps &caps, Family family)
{
    switch (family) {
    case Family::User:
        return caps.userAttributes;
    case Family::Acl:
        return caps.acls;
    case Family::Other:
        break;
    }
    return caps.otherAttributes;
}

// Answers of a file system that holds no attributes of that family at all (rclone says EIO).
bool familyMissing(int code)
{
    return code == EOPNOTSUPP || code == ENOSYS || code == EIO;
}

// The names of the attributes of a file, or its value: asked for the size first, and again
// when it grew in the meantime. Nothing when it cannot be read (an attribute that went since
// the list was read, say); an empty value is a value.
template <typename Read> std::optional<QByteArray> readGrowing(Read read)
{
    QByteArray buffer;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = read(nullptr, 0);
        if (size < 0)
            return std::nullopt;
        buffer.resize(size);
        const ssize_t got = size == 0 ? 0 : read(buffer.data(), size_t(size));
        if (got >= 0) {
            buffer.truncate(got);
            return buffer;
        }
        if (errno != ERANGE)
            return std::nullopt;
    }
    return std::nullopt;
}

QList<QByteArray> attributeNames(int in)
{
    const std::optional<QByteArray> names
        = readGrowing([in](char *buffer, size_t size) { return ::flistxattr(in, buffer, size); });
    // Most files have none: no list to make.
    if (!names || names->isEmpty())
        return {};
    QList<QByteArray> list = names->split('\0');
    list.removeAll(QByteArray());
    return list;
}

// Whether out got an ACL of its own.
bool keepExtendedAttributes(int in, int out, FolderCaps &caps)
{
    bool acl = false;
    for (const QByteArray &name : attributeNames(in)) {
        std::atomic<bool> &family = allowed(caps, familyOf(name));
        if (!family.load(std::memory_order_relaxed))
            continue;
        const std::optional<QByteArray> value = readGrowing([in, &name](char *buffer, size_t size) {
            return ::fgetxattr(in, name.constData(), buffer, size);
        });
        if (!value)
            continue;
        if (::fsetxattr(out, name.constData(), value->constData(), size_t(value->size()), 0) == 0)
            acl = acl || name == AccessAcl;
        else if (familyMissing(errno))
            family.store(false, std::memory_order_relaxed);
    }
    return acl;
}

void keepOwner(int out, const struct stat &source, FolderCaps &caps)
{
    // The program does not change its user while it copies: asked once.
    static const bool superUser = ::geteuid() == 0;
    const uid_t owner = superUser && source.st_uid != caps.newOwner ? source.st_uid : uid_t(-1);
    const gid_t group = source.st_gid != caps.newGroup ? source.st_gid : gid_t(-1);
    if ((owner == uid_t(-1) && group == gid_t(-1)) || !caps.owners.load(std::memory_order_relaxed))
        return;
    // Another user's group is refused (EPERM) to all but root: the copy keeps the user's.
    if (::fchown(out, owner, group) != 0 && (errno == ENOSYS || errno == EOPNOTSUPP))
        caps.owners.store(false, std::memory_order_relaxed);
}

// The copy was made with the source's permission bits, less the creation mask and plus the
// owner's write; a default ACL of the folder gave it an ACL of its own, which `cp -a` would not
// keep for a source without one.
int keepMode(int out, const struct stat &source, FolderCaps &caps, bool aclKept)
{
    if (!caps.modes.load(std::memory_order_relaxed))
        return 0;
    const mode_t bits = source.st_mode & 07777;
    if (caps.defaultAcl && !aclKept)
        ::fremovexattr(out, AccessAcl);
    const bool needed = (bits & (S_ISUID | S_ISGID | S_ISVTX)) != 0 || (bits & caps.creationMask) != 0
        || caps.defaultAcl || (bits & S_IWUSR) == 0;
    if (!needed || ::fchmod(out, bits) == 0)
        return 0;
    if (errno == EIO)
        return EIO;
    if (errno == EPERM || errno == ENOSYS || errno == EOPNOTSUPP)
        caps.modes.store(false, std::memory_order_relaxed);
    return 0;
}

} // namespace

int keepAttributes(int in, int out, const struct stat &source, FolderCaps &caps)
{
    keepOwner(out, source, caps);
    const bool acl = keepExtendedAttributes(in, out, caps);
    const int code = keepMode(out, source, caps, acl);
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (::futimens(out, times) != 0 && errno == EIO)
        return EIO;
    return code;
}

} // namespace modFSO::detail
