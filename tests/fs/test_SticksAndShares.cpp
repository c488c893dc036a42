// Copies and moves onto the file systems of sticks and shares, each mounted for real through
// FUSE: FAT and exFAT images, bindfs, sshfs to a server of the test's own, and rclone. What
// each can do is learned by the copy itself; the results must be the same everywhere.
#include "FsTestSupport.h"
#include "fs/FileCopy.h"
#include "fs/TemporaryRecord.h"
#include "fs/modFSO.h"
#include "fs/modSize.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fstest;
using TestMounts::FuseMount;

namespace
{

// Places a new file of the given content under name, as a copy does once its data is written;
// the errno of the failure, 0 on success.
int placeNew(modFSO::detail::FolderCaps &caps, const QByteArray &name, const QByteArray &content,
    modFSO::Placement placement, bool *replaced = nullptr)
{
    modFSO::detail::TemporaryFile file(caps.folder(), caps);
    if (const int code = file.create(0644))
        return code;
    if (const int code = modFSO::writeAll(file.fd(), content))
        return code;
    return file.place(name, placement, replaced);
}

class OntoMountTest : public ::testing::TestWithParam<FuseMount::Kind>
{
protected:
    void SetUp() override
    {
        m_mount = TestMounts::mountOf(GetParam());
        ASSERT_TRUE(m_source.isValid());
    }

    QString src(const QString &name) const { return m_source.filePath(name); }
    QString dst(const QString &name) const { return m_mount->path() + "/" + name; }

    QTemporaryDir m_source;
    std::unique_ptr<FuseMount> m_mount;
};

// rclone answers EIO for a link, which is no failure of the copy but a file system without
// links; two copies of one name never replace each other without Overwrite.
TEST_P(OntoMountTest, CopyAndMoveNeverReplaceWithoutOverwrite)
{
    TESTMOUNTS_REQUIRE_FUSE(*m_mount);
    writeFile(src("a.txt"), "first");
    EXPECT_EQ(modFSO::CopyAFile(src("a.txt"), dst("a.txt"), false), std::nullopt);
    writeFile(src("a.txt"), "second");
    const auto refused = modFSO::CopyAFile(src("a.txt"), dst("a.txt"), false);
    EXPECT_EQ(refused ? refused->code : 0, EEXIST);
    EXPECT_EQ(readFile(dst("a.txt")), "first");

    const QByteArray data = patternBytes(3 * 1024 * 1024 + 17);
    writeFile(src("m.bin"), data);
    EXPECT_EQ(modFSO::MoveAFile(src("m.bin"), dst("m.bin")), std::nullopt);
    EXPECT_FALSE(QFile::exists(src("m.bin")));
    EXPECT_EQ(readFile(dst("m.bin")), data);

    EXPECT_EQ(allEntries(m_mount->path()), QStringList({"a.txt", "m.bin"}));
    EXPECT_FALSE(QFile::exists(modFSO::detail::temporaryRecordPath())) << "a run that ends leaves no line";
}

// Overwrite says whether it replaced a file: on FAT and exFAT "REPORT.txt" is the file
// "report.txt", and a copy under the one name replaces the other.
TEST_P(OntoMountTest, ReplaceTellsWhetherItReplacedAFile)
{
    TESTMOUNTS_REQUIRE_FUSE(*m_mount);
    const modFSO::detail::FileDescriptor folder(
        ::open(QFile::encodeName(m_mount->path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(folder.valid());
    modFSO::detail::FolderCaps caps;
    caps.learn(folder.get());
    bool replaced = true;
    EXPECT_EQ(placeNew(caps, "report.txt", "old", modFSO::Placement::Replace, &replaced), 0);
    EXPECT_FALSE(replaced);
    EXPECT_EQ(placeNew(caps, "report.txt", "new", modFSO::Placement::Replace, &replaced), 0);
    EXPECT_TRUE(replaced);
    EXPECT_EQ(readFile(dst("report.txt")), "new");

    EXPECT_EQ(placeNew(caps, "REPORT.txt", "other", modFSO::Placement::NoReplace),
        m_mount->caseInsensitive() ? EEXIST : 0);
    EXPECT_EQ(placeNew(caps, "Report.txt", "case", modFSO::Placement::Replace, &replaced), 0);
    EXPECT_EQ(replaced, m_mount->caseInsensitive());
    EXPECT_EQ(allEntries(m_mount->path()).size(), m_mount->caseInsensitive() ? 1 : 3);
    EXPECT_EQ(caps.caseInsensitive.load(), m_mount->caseInsensitive());
    EXPECT_EQ(readFile(dst("Report.txt")), "case");
}

INSTANTIATE_TEST_SUITE_P(Mounts, OntoMountTest, ::testing::ValuesIn(TestMounts::AllFuseKinds),
    [](const ::testing::TestParamInfo<FuseMount::Kind> &info) {
        return FuseMount::name(info.param).remove('-').toStdString();
    });

// A copy keeps the holes of its source only where the destination holds holes; the free-space
// check asks for the room the copy takes there.
TEST(RoomNeeded, IsTheLengthUnlessTheCopyKeepsHoles)
{
    struct Case {
        qint64 length;
        qint64 blocks;
        bool keepsHoles;
        qint64 room;
    } const cases[] = {
        {1LL << 30, 8, true, 4096}, // 1 GiB with 4 KiB of data
        {1LL << 30, 8, false, 1LL << 30}, // onto FAT
        {10000, 24, true, 10000}, // no holes: blocks round up beyond the length
        {1LL << 20, 0, true, 1LL << 20}, // no block counted at all
        {0, 0, true, 0},
    };
    for (const Case &c : cases) {
        struct stat st {
        };
        st.st_size = c.length;
        st.st_blocks = c.blocks;
        EXPECT_EQ(modSize::roomNeeded(st, c.keepsHoles), c.room) << c.length << " " << c.blocks;
    }
}

// The free-space check learns from the destination whether a copy keeps holes there.
TEST(RoomNeeded, FatKeepsNoHoles)
{
    TestMounts::FatMount fat;
    TESTMOUNTS_REQUIRE_FUSE(fat);
    QTemporaryDir local;
    for (const QString &folder : {local.path(), fat.path()}) {
        const modFSO::detail::FileDescriptor fd(
            ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        modFSO::detail::FolderCaps caps;
        caps.learn(fd.get());
        EXPECT_EQ(caps.keepsHoles(), folder == local.path()) << folder.toStdString();
        EXPECT_TRUE(allEntries(folder).isEmpty());
    }
}

} // namespace
