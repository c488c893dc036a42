#include "UpdaterStore.h"
#include "updater/modRegistryRead.h"

#include <QByteArray>
#include <QSize>
#include <QStringList>
#include <gtest/gtest.h>

using modRegistryRead::QueryValueText;
using modRegistryRead::ReadRegistryValue;
using modRegistryRead::RegistryKey;
using modRegistryRead::RootKey;

namespace
{

const QString KeyPath = QStringLiteral("Software\\Ulvenor\\Tessaro\\Lite");

QString read(const QString &name)
{
    return ReadRegistryValue(RootKey::CurrentUser, KeyPath, name);
}

} // namespace

TEST(RegistryRead, TextValuesAsTheMainProgramWritesThem)
{
    UpdaterStore store;
    store.set("Version", QStringLiteral("3.01.00"));
    store.set("Language", QStringLiteral("de"));
    store.set("Cut", QString::fromUtf16(u"ab\0cd", 5));
    store.set("Empty", QString());

    EXPECT_EQ(read("Version"), "3.01.00");
    EXPECT_EQ(read("Language"), "de");
    EXPECT_EQ(read("Cut"), "ab");
    EXPECT_EQ(read("Empty"), "");
}

TEST(RegistryRead, BinaryValuesGiveTheirFirstTwoBytesAsSignedNumber)
{
    UpdaterStore store;
    store.set("Pair", QByteArray::fromHex("3412"));
    store.set("Negative", QByteArray::fromHex("ffff"));
    store.set("Lowest", QByteArray::fromHex("0080"));
    store.set("Longer", QByteArray::fromHex("0100ff7f"));
    store.set("Single", QByteArray::fromHex("05"));
    store.set("None", QByteArray());

    EXPECT_EQ(read("Pair"), "4660");
    EXPECT_EQ(read("Negative"), "-1");
    EXPECT_EQ(read("Lowest"), "-32768");
    EXPECT_EQ(read("Longer"), "1");
    EXPECT_EQ(read("Single"), "5");
    EXPECT_EQ(read("None"), "0");
}

TEST(RegistryRead, OtherKindsAndMissingValuesGiveEmptyText)
{
    UpdaterStore store;
    store.set("List", QStringList {"de", "en"});
    store.set("Size", QSize(3, 4));

    EXPECT_EQ(read("List"), "");
    EXPECT_EQ(read("Size"), "");
    EXPECT_EQ(read("Version"), "");
    EXPECT_EQ(ReadRegistryValue(RootKey::CurrentUser, "Software\\Ulvenor\\Tessaro\\Pro", "List"), "");
}

TEST(RegistryRead, KeyPathNamesOrganizationApplicationAndGroup)
{
    UpdaterStore store;
    store.set("Version", QStringLiteral("3.01.00"));

    RegistryKey key = RegistryKey::open(RootKey::CurrentUser, "software\\Ulvenor\\Tessaro\\Lite\\");
    ASSERT_TRUE(key.isOpen());
    EXPECT_EQ(QueryValueText(key, "Version"), "3.01.00");
    key.close();
    EXPECT_FALSE(key.isOpen());
    EXPECT_EQ(QueryValueText(key, "Version"), "");

    EXPECT_EQ(QueryValueText(RegistryKey(), "Version"), "");
    EXPECT_FALSE(RegistryKey::open(RootKey::CurrentUser, "Ulvenor\\Tessaro\\Lite").isOpen());
    EXPECT_FALSE(RegistryKey::open(RootKey::CurrentUser, "Software\\Ulvenor").isOpen());
}

TEST(RegistryRead, ReadsOnlyTheUsersOwnStoreOfTheApplication)
{
    UpdaterStore store;
    QSettings organizationWide(QStringLiteral("Ulvenor"));
    organizationWide.setValue("Lite/Version", QStringLiteral("9.99.99"));
    organizationWide.sync();

    EXPECT_EQ(read("Version"), "");

    organizationWide.clear();
}
