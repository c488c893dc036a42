// Two instances of the program move the same folder onto one stick at once (two windows, two
// users, the same folder pair started twice). FAT and exFAT have neither links nor a rename
// that refuses to replace: the instances must not rename between each other's look and rename.
#include "ReliabilitySupport.h"

#include <QProcess>
#include <gtest/gtest.h>

using TestMounts::FuseMount;

namespace
{

class SecondInstanceTest : public Reliability::ChildRunFixture,
                           public ::testing::WithParamInterface<FuseMount::Kind>
{
};

TEST_P(SecondInstanceTest, TwoMovesOntoOneStickLoseNothing)
{
    const std::unique_ptr<FuseMount> stick = TestMounts::mountOf(GetParam());
    TESTMOUNTS_REQUIRE_FUSE(*stick);
    // fusefat looks through a folder from its start for every name: fewer files there.
    const int Files = GetParam() == FuseMount::Kind::Fat ? 100 : 300;
    QMap<QString, QByteArray> sums;
    for (int n = 0; n < Files; ++n) {
        const QString name = QString("scan-%1.pdf").arg(n, 3, 10, QChar('0'));
        sums.insert(name, Reliability::writePattern(src + "/" + name, 1000 + n * 97, quint32(n)));
    }

    QProcess first;
    QProcess second;
    first.start(RELIABILITY_CHILD, childArguments(stick->path(), {"--move"}));
    second.start(RELIABILITY_CHILD, childArguments(stick->path(), {"--move"}));
    ASSERT_TRUE(first.waitForFinished(300000) && second.waitForFinished(300000));

    // Each file is whole in the one folder or the other (a move that lost the race keeps its
    // source), and the stick holds nothing else.
    const QMap<QString, QByteArray> moved = Reliability::checksums(stick->path());
    const QMap<QString, QByteArray> left = Reliability::checksums(src);
    int lost = 0;
    for (auto file = sums.cbegin(); file != sums.cend(); ++file) {
        const bool kept = moved.value(file.key()) == file.value() || left.value(file.key()) == file.value();
        lost += kept ? 0 : 1;
    }
    EXPECT_EQ(lost, 0);
    for (const QString &name : moved.keys())
        EXPECT_TRUE(sums.contains(name)) << name.toStdString();

    runToTheEnd(stick->path(), {"--move"});
    EXPECT_EQ(Reliability::checksums(stick->path()), sums);
    EXPECT_TRUE(TestFiles::entries(src).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Sticks, SecondInstanceTest,
    ::testing::Values(FuseMount::Kind::Exfat, FuseMount::Kind::Fat),
    [](const ::testing::TestParamInfo<FuseMount::Kind> &info) {
        return FuseMount::name(info.param).remove('-').toStdString();
    });

} // namespace
