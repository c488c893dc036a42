// The tests, queries and path helpers of modFSO and the free-space check of modSize.
#include "FsTestSupport.h"
#include "fs/NameList.h"
#include "fs/TransferFolders.h"
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

void expectFsError(const std::optional<modFSO::FsError> &error, int code, const QString &description)
{
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, code);
    EXPECT_EQ(error->description, description);
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
    EXPECT_EQ(modFSO::AddTrailingSlash(QString()), "/");
    EXPECT_EQ(modFSO::AddTrailingSlash("a/b"), "a/b/");
    EXPECT_EQ(modFSO::AddTrailingSlash("a/b/"), "a/b/");

    EXPECT_EQ(modFSO::StripLeadingSlash("//x"), "/x");
    EXPECT_EQ(modFSO::StripLeadingSlash("x/"), "x/");
    EXPECT_EQ(modFSO::StripLeadingSlash(QString()), QString());

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
    EXPECT_EQ(modFSO::CreateFolder(blanked), std::nullopt);
    EXPECT_TRUE(QFileInfo(path("one/two/three")).isDir());
    EXPECT_EQ(modFSO::CreateFolder(blanked), std::nullopt);
    EXPECT_EQ(modFSO::CreateFolder(path("one/two/")), std::nullopt);

    writeFile(path("file"), "x");
    const QString throughFile = path("file/sub") + " ";
    const auto notAFolder = modFSO::CreateFolder(throughFile);
    ASSERT_TRUE(notAFolder);
    EXPECT_EQ(modFSO::ErrorText(*notAFolder),
        QStringLiteral("CreateFolder Error(%1): %2 NewPath: %3")
            .arg(ENOTDIR)
            .arg(strerrorText(ENOTDIR), throughFile));

    const QString tooLong = path(overlongName());
    const auto nameTooLong = modFSO::CreateFolder(tooLong);
    ASSERT_TRUE(nameTooLong);
    EXPECT_EQ(modFSO::ErrorText(*nameTooLong),
        QStringLiteral("CreateFolder Error(%1): %2 NewPath: %3")
            .arg(ENAMETOOLONG)
            .arg(strerrorText(ENAMETOOLONG), tooLong));
    EXPECT_TRUE(modFSO::CreateFolder(QString()).has_value());
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

TEST_F(ModFsoTest, ListPlainFilesKeepsOnlyVisibleRegularFilesSortedByName)
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

    writeFile(path("B.txt"), "B");
    writeFile(path("c.txt"), "c");
    writeFile(path("A.txt"), "A");

    // By name without regard to case, as a person looks for them; names that differ only in
    // case keep the order of their bytes.
    const QStringList expected
        = {"A.txt", "a.txt", "B.txt", "c.txt", QString::fromUtf8("Grüße.txt"), "link-to-file"};
    EXPECT_EQ(modFSO::ListPlainFiles(m_dir.path()).value, expected);
    EXPECT_EQ(modFSO::ListPlainFiles(m_dir.path() + "/").value, expected);
    EXPECT_TRUE(modFSO::ListPlainFiles(m_dir.path()).ok());
    EXPECT_EQ(modFSO::ListPlainFiles(path("sub")).value, QStringList());
}

// Plain ASCII names are folded as they are compared, other names through their text: both
// kinds meet in one order, a name that is no UTF-8 (here Latin-1 "\xe9") after all text.
TEST(NameListTest, SortsPlainAndOtherNamesByOneFoldedText)
{
    modFSO::NameList names;
    for (const char *name : {"b", "B", "\xe9", "a\xc3\xa9", "Z", "a~", "\xc3\x89z", "A"})
        names.append(name);
    names.sortByName();
    QList<QByteArray> sorted;
    for (qsizetype i = 0; i < names.size(); ++i)
        sorted.append(names.at(i));
    EXPECT_EQ(sorted, QList<QByteArray>({"A", "a~", "a\xc3\xa9", "B", "b", "Z", "\xc3\x89z", "\xe9"}));
}

TEST_F(ModFsoTest, ListPlainFilesTellsWhyTheFolderCannotBeRead)
{
    writeFile(path("file"), "x");
    expectFsError(modFSO::ListPlainFiles(path("missing")).error, ENOENT, strerrorText(ENOENT));
    expectFsError(modFSO::ListPlainFiles(path("file")).error, ENOTDIR, strerrorText(ENOTDIR));
}

TEST_F(ModFsoTest, FileSizeIsSixtyFourBit)
{
    writeFile(path("small"), patternBytes(12345));
    EXPECT_EQ(modFSO::FileSize(path("small")).value, 12345);

    const qint64 fiveGiB = 5LL * 1024 * 1024 * 1024;
    QFile sparse(path("sparse"));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(fiveGiB));
    EXPECT_EQ(modFSO::FileSize(path("sparse")).value, fiveGiB);

    expectFsError(modFSO::FileSize(path("missing")).error, ENOENT, strerrorText(ENOENT));
}

TEST_F(ModFsoTest, TransferFoldersSeeOneFileThroughEverySpelling)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkpath("dir/other"));
    writeFile(path("dir/f"), "same");
    writeFile(path("dir/g"), "same");
    makeLink(path("dir"), path("dir-link"));
    ASSERT_EQ(
        ::link(QFile::encodeName(path("dir/f")).constData(), QFile::encodeName(path("hard")).constData()), 0);

    for (const QString &spelling : {path("dir/other/.."), path("dir/") + "/", path("dir-link")}) {
        SCOPED_TRACE(spelling.toStdString());
        const modFSO::TransferFolders folders(path("dir"), spelling);
        EXPECT_TRUE(folders.sameFile("f", "f"));
        EXPECT_FALSE(folders.sameFile("f", "g"));
        EXPECT_FALSE(folders.sameFile("missing", "missing"));
        EXPECT_TRUE(folders.sameFileSystem());
    }
    EXPECT_TRUE(modFSO::TransferFolders(path("dir"), m_dir.path()).sameFile("f", "hard"));
    EXPECT_FALSE(modFSO::TransferFolders(path("dir"), path("dir/missing")).sameFileSystem());
    EXPECT_FALSE(modFSO::TransferFolders(path("dir/missing"), path("dir")).sameFileSystem());

    TmpfsMount tmpfs;
    if (tmpfs.mounted()) {
        EXPECT_FALSE(modFSO::TransferFolders(path("dir"), tmpfs.path()).sameFileSystem());
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

TEST_F(ModFsoTest, GetVolumeLabelFailsWithTheSystemCode)
{
    writeFile(path("file"), "x");
    for (const auto &[name, code] : {std::pair {"missing", ENOENT}, std::pair {"file/sub", ENOTDIR}}) {
        expectFsError(modFSO::GetVolumeLabel(path(name)).error, code,
            "A system call returned an error code of " + QString::number(code));
    }
    EXPECT_TRUE(modFSO::GetVolumeLabel(m_dir.path()).ok());
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
