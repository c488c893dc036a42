// The tests, queries and path helpers of modFSO and the free-space check of modSize.
#include "FsTestSupport.h"
#include "fs/VolumeLabel.h"
#include "fs/modFSO.h"
#include "fs/modSize.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace fstest;

namespace
{

QString strerrorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

void makeLink(const QString &target, const QString &link)
{
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
}

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

template <typename Call> void expectFsError(Call call, int code, const QString &description)
{
    try {
        call();
        ADD_FAILURE() << "no FsError thrown";
    } catch (const modFSO::FsError &error) {
        EXPECT_EQ(error.code(), code);
        EXPECT_EQ(error.description(), description);
    }
}

class ModFsoTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

TEST(PathHelpers, AddStripAndJoin)
{
    EXPECT_EQ(modFSO::AddBackslash(QString()), "/");
    EXPECT_EQ(modFSO::AddBackslash("a/b"), "a/b/");
    EXPECT_EQ(modFSO::AddBackslash("a/b/"), "a/b/");

    EXPECT_EQ(modFSO::StripLeadingBackslash("//x"), "/x");
    EXPECT_EQ(modFSO::StripLeadingBackslash("x/"), "x/");
    EXPECT_EQ(modFSO::StripLeadingBackslash(QString()), QString());

    EXPECT_EQ(modFSO::JoinPath("/", "/x"), "/x");
    EXPECT_EQ(modFSO::JoinPath("/home/u/.config", "Tessaro"), "/home/u/.config/Tessaro");
    EXPECT_EQ(modFSO::JoinPath("a/", "b"), "a/b");
    EXPECT_EQ(modFSO::JoinPath("a", "//b"), "a//b");
}

TEST_F(ModFsoTest, ExistenceTests)
{
    writeFile(path("file"), "x");
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("folder"));
    makeLink(path("folder"), path("folder-link"));
    makeLink(path("gone"), path("dangling"));

    EXPECT_TRUE(modFSO::FileExists(path("file")));
    EXPECT_TRUE(modFSO::FileExists(path("folder")));
    EXPECT_TRUE(modFSO::FileExists(path("dangling")));
    EXPECT_FALSE(modFSO::FileExists(path("gone")));
    EXPECT_FALSE(modFSO::FileExists(QString()));
    EXPECT_FALSE(modFSO::FileExists(path("file/inner")));

    EXPECT_TRUE(modFSO::FolderExists(path("folder")));
    EXPECT_TRUE(modFSO::FolderExists(path("folder-link")));
    EXPECT_TRUE(modFSO::FolderExists(path("folder/")));
    EXPECT_FALSE(modFSO::FolderExists(path("file")));
    EXPECT_FALSE(modFSO::FolderExists(path("dangling")));
    EXPECT_FALSE(modFSO::FolderExists(QString()));
}

TEST_F(ModFsoTest, CreateFolderMakesEveryLevel)
{
    const QString blanked = "  " + path("one//two/three") + " \t";
    EXPECT_EQ(modFSO::CreateFolder(blanked), QString());
    EXPECT_TRUE(QFileInfo(path("one/two/three")).isDir());
    EXPECT_EQ(modFSO::CreateFolder(blanked), QString());
    EXPECT_EQ(modFSO::CreateFolder(path("one/two/")), QString());

    writeFile(path("file"), "x");
    const QString throughFile = path("file/sub") + " ";
    EXPECT_EQ(modFSO::CreateFolder(throughFile),
        QStringLiteral("CreateFolder Error(%1): %2 NewPath: %3")
            .arg(ENOTDIR)
            .arg(strerrorText(ENOTDIR), throughFile));

    const QString tooLong = path(overlongName());
    EXPECT_EQ(modFSO::CreateFolder(tooLong),
        QStringLiteral("CreateFolder Error(%1): %2 NewPath: %3")
            .arg(ENAMETOOLONG)
            .arg(strerrorText(ENAMETOOLONG), tooLong));
    EXPECT_TRUE(modFSO::CreateFolder(QString()).startsWith("CreateFolder Error("));
}

TEST_F(ModFsoTest, GetExtensionName)
{
    for (const char *name : {"English.dat", "English.DAT", "noext", "archive.tar.gz", "a.b\\c", "trailing."})
        writeFile(path(name), "x");
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("folder.d"));

    EXPECT_EQ(modFSO::GetExtensionName(path("English.dat")), "dat");
    EXPECT_EQ(modFSO::GetExtensionName(path("English.DAT")), "DAT");
    EXPECT_EQ(modFSO::GetExtensionName(path("noext")), QString());
    EXPECT_EQ(modFSO::GetExtensionName(path("archive.tar.gz")), "gz");
    EXPECT_EQ(modFSO::GetExtensionName(path("a.b\\c")), QString());
    EXPECT_EQ(modFSO::GetExtensionName(path("trailing.")), QString());
    EXPECT_EQ(modFSO::GetExtensionName(path("folder.d")), "d");
    EXPECT_EQ(modFSO::GetExtensionName(path("missing.dat")), QString());

    // A dot in a folder name is no extension of the file inside.
    writeFile(path("folder.d/plain"), "x");
    EXPECT_EQ(modFSO::GetExtensionName(path("folder.d/plain")), QString());
}

TEST_F(ModFsoTest, ListPlainFilesKeepsOnlyVisibleRegularFiles)
{
    writeFile(path("a.txt"), "a");
    writeFile(path(QString::fromUtf8("Grüße.txt")), "b");
    writeFile(path(".hidden"), "h");
    writeFile(path(".tessaro-1234.part"), "left by a crash");
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("sub"));
    makeLink(path("a.txt"), path("link-to-file"));
    makeLink(path("sub"), path("link-to-folder"));
    makeLink(path("gone"), path("dangling"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);

    EXPECT_EQ(sorted(modFSO::ListPlainFiles(m_dir.path())),
        sorted({"a.txt", QString::fromUtf8("Grüße.txt"), "link-to-file"}));
    EXPECT_EQ(
        sorted(modFSO::ListPlainFiles(m_dir.path() + "/")), sorted(modFSO::ListPlainFiles(m_dir.path())));
    EXPECT_EQ(modFSO::ListPlainFiles(path("sub")), QStringList());
}

TEST_F(ModFsoTest, ListPlainFilesThrowsWhenTheFolderCannotBeRead)
{
    writeFile(path("file"), "x");
    expectFsError([&] { modFSO::ListPlainFiles(path("missing")); }, ENOENT, strerrorText(ENOENT));
    expectFsError([&] { modFSO::ListPlainFiles(path("file")); }, ENOTDIR, strerrorText(ENOTDIR));
}

TEST_F(ModFsoTest, FileSizeIsSixtyFourBit)
{
    writeFile(path("small"), patternBytes(12345));
    EXPECT_EQ(modFSO::FileSize(path("small")), 12345);

    const qint64 fiveGiB = 5LL * 1024 * 1024 * 1024;
    QFile sparse(path("sparse"));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(fiveGiB));
    EXPECT_EQ(modFSO::FileSize(path("sparse")), fiveGiB);

    expectFsError([&] { modFSO::FileSize(path("missing")); }, ENOENT, strerrorText(ENOENT));
}

TEST_F(ModFsoTest, IsSameFileSeesThroughSpellings)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkpath("dir/other"));
    writeFile(path("dir/f"), "same");
    writeFile(path("dir/g"), "same");
    makeLink(path("dir"), path("dir-link"));
    ASSERT_EQ(
        ::link(QFile::encodeName(path("dir/f")).constData(), QFile::encodeName(path("hard")).constData()), 0);

    EXPECT_TRUE(modFSO::IsSameFile(path("dir/f"), path("dir/other/../f")));
    EXPECT_TRUE(modFSO::IsSameFile(path("dir/f"), path("dir/") + "/f"));
    EXPECT_TRUE(modFSO::IsSameFile(path("dir/f"), path("dir-link/f")));
    EXPECT_TRUE(modFSO::IsSameFile(path("dir"), path("dir-link/")));
    EXPECT_TRUE(modFSO::IsSameFile(path("dir/f"), path("hard")));
    EXPECT_FALSE(modFSO::IsSameFile(path("dir/f"), path("dir/g")));
    EXPECT_FALSE(modFSO::IsSameFile(path("dir/missing"), path("dir/missing")));

    EXPECT_TRUE(modFSO::IsSameFileSystem(path("dir/f"), path("dir-link/other")));
    EXPECT_FALSE(modFSO::IsSameFileSystem(path("dir/f"), path("dir/missing")));
    EXPECT_FALSE(modFSO::IsSameFileSystem(path("dir/missing"), path("dir/f")));

    TmpfsMount tmpfs;
    if (tmpfs.mounted()) {
        EXPECT_FALSE(modFSO::IsSameFileSystem(path("dir"), tmpfs.path()));
    }
}

TEST_F(ModFsoTest, DiskFreeOfMissingFolderIsMinusOne)
{
    writeFile(path("file"), "x");
    EXPECT_EQ(modSize::DiskFree(path("missing")), -1);
    EXPECT_EQ(modSize::DiskFree(path("file/sub")), -1);
    EXPECT_EQ(modSize::DiskFree(QString()), -1);
    EXPECT_GE(modSize::DiskFree(m_dir.path()), 0);
}

TEST(DiskFree, CountsTheBytesLeftOnTheFileSystem)
{
    TmpfsMount tmpfs("4m");
    FSTEST_REQUIRE_TMPFS(tmpfs);
    EXPECT_EQ(modSize::DiskFree(tmpfs.path()), 4 * 1024 * 1024);
    writeFile(tmpfs.path() + "/one", patternBytes(1024 * 1024));
    EXPECT_EQ(modSize::DiskFree(tmpfs.path()), 3 * 1024 * 1024);
    EXPECT_EQ(modSize::DiskFree(tmpfs.path() + "//"), 3 * 1024 * 1024);
}

TEST(DiskFree, IsNotCappedAtTwoGibibytes)
{
    TmpfsMount tmpfs("5g");
    FSTEST_REQUIRE_TMPFS(tmpfs);
    EXPECT_EQ(modSize::DiskFree(tmpfs.path()), 5LL * 1024 * 1024 * 1024);
}

TEST_F(ModFsoTest, GetVolumeLabelThrowsWithTheSystemCode)
{
    writeFile(path("file"), "x");
    for (const auto &[name, code] : {std::pair {"missing", ENOENT}, std::pair {"file/sub", ENOTDIR}}) {
        QString target = path(name);
        expectFsError([&] { modFSO::GetVolumeLabel(target); }, code,
            "A system call returned an error code of " + QString::number(code));
    }

    QString existing = m_dir.path();
    EXPECT_NO_THROW(modFSO::GetVolumeLabel(existing));
    EXPECT_EQ(existing, m_dir.path());
}

TEST_F(ModFsoTest, VolumeLabelComesFromTheLinkOfTheDevice)
{
    struct stat folder;
    ASSERT_EQ(::stat(QFile::encodeName(m_dir.path()).constData(), &folder), 0);
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("by-label"));
    const QByteArray labels = QFile::encodeName(path("by-label"));
    const QByteArray node = labels + "/Backup\\x20Disk";
    if (::mknod(node.constData(), S_IFBLK | 0600, folder.st_dev) != 0)
        GTEST_SKIP() << "needs permission to make device nodes (root): " << std::strerror(errno);
    writeFile(path("by-label/Plain"), "not a device");

    EXPECT_EQ(modFSO::detail::labelOfDevice(folder.st_dev, labels), "Backup Disk");
    EXPECT_EQ(modFSO::detail::labelOfDevice(makedev(4095, 4095), labels), QString());
    EXPECT_EQ(modFSO::detail::labelOfDevice(folder.st_dev, labels + "/missing"), QString());
}

TEST(VolumeLabel, MountSourceOfProc)
{
    struct stat proc;
    ASSERT_EQ(::stat("/proc", &proc), 0);
    EXPECT_EQ(modFSO::detail::mountSourceOf(proc.st_dev), "proc");
    EXPECT_EQ(modFSO::detail::mountSourceOf(makedev(4095, 4095)), QByteArray());
}

TEST(VolumeLabel, DecodesUdevEscapes)
{
    EXPECT_EQ(modFSO::detail::decodeLabelName("My\\x20Disk"), "My Disk");
    EXPECT_EQ(modFSO::detail::decodeLabelName("A\\x2fB"), "A/B");
    EXPECT_EQ(modFSO::detail::decodeLabelName("bad\\xZ1"), "bad\\xZ1");
    EXPECT_EQ(modFSO::detail::decodeLabelName("end\\x2"), "end\\x2");
    EXPECT_EQ(modFSO::detail::decodeLabelName("Gr\\xc3\\xbc\\xc3\\x9fe"), QString::fromUtf8("Grüße"));
}

} // namespace
