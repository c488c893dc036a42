// What a copy and a move to another file system keep of a file besides its data: what `cp -a`
// and `mv` keep, where the destination can hold it, and the file all the same where it cannot.
#include "FsTestSupport.h"
#include "fs/modFSO.h"

#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace fstest;

namespace
{

const char Origin[] = "user.xdg.origin.url";
const char AccessAcl[] = "system.posix_acl_access";

// A POSIX ACL as the kernel stores it in its attribute: a version, then tag, permissions and
// id of each entry. The owner rwx, one more user rw-, the group r-x, the mask r-x, others r--.
QByteArray aclWithUser(quint32 user)
{
    QByteArray acl;
    const auto add = [&acl](quint16 tag, quint16 permissions, quint32 id) {
        quint16 small[2] = {qToLittleEndian(tag), qToLittleEndian(permissions)};
        const quint32 big = qToLittleEndian(id);
        acl.append(reinterpret_cast<const char *>(small), 4).append(reinterpret_cast<const char *>(&big), 4);
    };
    const quint32 version = qToLittleEndian(quint32(2));
    acl.append(reinterpret_cast<const char *>(&version), 4);
    add(0x01, 7, quint32(-1));
    add(0x02, 6, user);
    add(0x04, 5, quint32(-1));
    add(0x10, 5, quint32(-1));
    add(0x20, 4, quint32(-1));
    return acl;
}

QByteArray attribute(const QString &path, const char *name)
{
    char value[1024];
    const ssize_t size = ::lgetxattr(QFile::encodeName(path).constData(), name, value, sizeof value);
    return size < 0 ? QByteArray("<none>") : QByteArray(value, size);
}

bool setAttribute(const QString &path, const char *name, const QByteArray &value)
{
    return ::lsetxattr(QFile::encodeName(path).constData(), name, value.constData(), size_t(value.size()), 0)
        == 0;
}

// Whether the file system that holds the folder takes an attribute of that name.
bool holds(const QString &folder, const char *name, const QByteArray &value)
{
    const QString probe = folder + "/.holds";
    writeFile(probe, "x");
    const bool held = setAttribute(probe, name, value);
    QFile::remove(probe);
    return held;
}

// What `cp -a` keeps, as one text, so that a difference shows at a glance.
std::string keptOf(const QString &path, bool withOrigin, bool withAcl)
{
    struct stat st {
    };
    ::lstat(QFile::encodeName(path).constData(), &st);
    return QStringLiteral("mode %1 owner %2:%3 modified %4.%5 origin %6 acl %7")
        .arg(st.st_mode & 07777, 0, 8)
        .arg(st.st_uid)
        .arg(st.st_gid)
        .arg(st.st_mtim.tv_sec)
        .arg(st.st_mtim.tv_nsec)
        .arg(withOrigin ? QString::fromUtf8(attribute(path, Origin)) : "-")
        .arg(withAcl ? QString::fromLatin1(attribute(path, AccessAcl).toHex()) : "-")
        .toStdString();
}

// A downloaded file with its origin, an ACL that lets one more user write, set-group-id and
// sticky bits, and (as root) another owner.
void makeRichFile(const QString &path)
{
    writeFile(path, patternBytes(100000));
    const QByteArray native = QFile::encodeName(path);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(native.constData(), 1234, 5678), 0);
    }
    ASSERT_EQ(::chmod(native.constData(), 03754), 0);
    ASSERT_TRUE(setAttribute(path, Origin, "https://example.org/report.pdf"));
    ASSERT_TRUE(setAttribute(path, AccessAcl, aclWithUser(4321)));
    const struct timespec times[2] = {{1000000000, 1}, {1200000000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, native.constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

TEST(FileAttributes, CopyAndMoveKeepWhatCpAKeeps)
{
    QTemporaryDir dir;
    QTemporaryDir other(QStringLiteral("/dev/shm/tessaro-XXXXXX"));
    if (!other.isValid())
        GTEST_SKIP() << "needs /dev/shm, a tmpfs, as the other file system";
    makeRichFile(dir.filePath("report.pdf"));
    if (HasFatalFailure())
        return;
    const std::string source = keptOf(dir.filePath("report.pdf"), true, true);

    EXPECT_EQ(modFSO::CopyAFile(dir.filePath("report.pdf"), dir.filePath("copy.pdf"), false), std::nullopt);
    EXPECT_EQ(keptOf(dir.filePath("copy.pdf"), true, true), source);

    const bool origin = holds(other.path(), Origin, "x");
    const bool acl = holds(other.path(), AccessAcl, aclWithUser(1));
    EXPECT_EQ(modFSO::MoveAFile(dir.filePath("report.pdf"), other.filePath("report.pdf")), std::nullopt);
    EXPECT_FALSE(QFile::exists(dir.filePath("report.pdf")));
    EXPECT_EQ(keptOf(other.filePath("report.pdf"), origin, acl), source);
}

// A folder with a default ACL gives every new file an ACL of its own; a copy of a file without
// one has none, as with `cp -a`, and the bits of its source.
TEST(FileAttributes, DefaultAclOfTheFolderDoesNotStick)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("shared"));
    if (!setAttribute(dir.filePath("shared"), "system.posix_acl_default", aclWithUser(4321)))
        GTEST_SKIP() << "the file system of " << dir.path().toStdString() << " has no ACLs";
    writeFile(dir.filePath("plain.txt"), "plain");
    ASSERT_EQ(::chmod(QFile::encodeName(dir.filePath("plain.txt")).constData(), 0640), 0);

    EXPECT_EQ(
        modFSO::CopyAFile(dir.filePath("plain.txt"), dir.filePath("shared/plain.txt"), false), std::nullopt);
    EXPECT_EQ(keptOf(dir.filePath("shared/plain.txt"), false, true),
        keptOf(dir.filePath("plain.txt"), false, true));
}

// FAT holds no owners, modes or attributes: the file goes all the same, once, and nothing
// counts as an error.
TEST(FileAttributes, FatTakesTheFileWithoutThem)
{
    TestMounts::FatMount stick;
    TESTMOUNTS_REQUIRE_FUSE(stick);
    QTemporaryDir dir;
    makeRichFile(dir.filePath("a.pdf"));
    makeRichFile(dir.filePath("b.pdf"));
    if (HasFatalFailure())
        return;
    const QByteArray data = readFile(dir.filePath("a.pdf"));

    EXPECT_EQ(modFSO::CopyAFile(dir.filePath("a.pdf"), stick.path() + "/a.pdf", false), std::nullopt);
    EXPECT_EQ(modFSO::MoveAFile(dir.filePath("b.pdf"), stick.path() + "/b.pdf"), std::nullopt);
    EXPECT_FALSE(QFile::exists(dir.filePath("b.pdf")));
    EXPECT_EQ(readFile(stick.path() + "/a.pdf"), data);
    EXPECT_EQ(readFile(stick.path() + "/b.pdf"), data);
    EXPECT_EQ(allEntries(stick.path()), QStringList({"a.pdf", "b.pdf"}));
}

} // namespace
