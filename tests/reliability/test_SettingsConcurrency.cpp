// Two processes write the settings file at the same moment, again and again, while a reader
// looks at it.
#include "ReliabilitySupport.h"
#include "config/IniDocument.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

constexpr int Rounds = 60;

const QStringList KeysOfA = {"From", "Interval", "Overwrite"};
const QStringList KeysOfB = {"To", "Action", "ShowLog"};
// Keys of the default file that neither writer touches.
const QStringList Untouched = {"Save", "Question", "DoActionOnStart", "CheckDestination", "Language"};

std::unique_ptr<QProcess> startWriter(const QString &path, const QString &tag, const QStringList &keys)
{
    auto writer = std::make_unique<QProcess>();
    writer->start(
        RELIABILITY_CHILD, QStringList {"write-settings", path, tag, QString::number(Rounds)} + keys);
    return writer;
}

QString valueIn(const modIniHandler::IniDocument &document, const QString &key)
{
    return QString::fromUtf8(document.rawValue("Options", key).value_or("<missing>"));
}

// A snapshot of the file is whole when it begins as the default file does, the keys that no
// one writes hold their defaults, and every written key holds its default or a value that one
// of the writers wrote.
QString wholeness(const QByteArray &bytes, const QByteArray &defaults)
{
    if (!bytes.startsWith(defaults.left(defaults.indexOf("[Options]"))))
        return "the header is not whole";
    const modIniHandler::IniDocument document(bytes);
    const modIniHandler::IniDocument original(defaults);
    for (const QString &key : Untouched) {
        if (valueIn(document, key) != valueIn(original, key))
            return key + " holds " + valueIn(document, key);
    }
    static const QRegularExpression written("^[AB]-\\d+$");
    for (const QString &key : KeysOfA + KeysOfB + QStringList {"Shared"}) {
        const QString value = valueIn(document, key);
        if (!written.match(value).hasMatch() && value != valueIn(original, key))
            return key + " holds " + value;
    }
    return {};
}

// Every write replaces the file in one step, so a reader never sees half of one; and the
// writers take turns, so that neither overwrites the other's newest key with an older copy
// of the file.
TEST(SettingsConcurrencyTest, TwoWritersAtOnceKeepTheFileWholeAndLoseNoWrite)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    modIniHandler::WriteDefaultSettings(dir.path());
    const QString path = dir.filePath("Tessaro.ini");
    const QByteArray defaults = TestFiles::read(path);
    ASSERT_TRUE(defaults.contains("[Options]"));

    const auto a = startWriter(path, "A", KeysOfA);
    const auto b = startWriter(path, "B", KeysOfB);
    int looks = 0;
    QStringList broken;
    while (a->state() != QProcess::NotRunning || b->state() != QProcess::NotRunning) {
        const QString fault = wholeness(TestFiles::read(path), defaults);
        if (!fault.isEmpty())
            broken.append(fault);
        ++looks;
        a->waitForFinished(0);
        b->waitForFinished(0);
    }
    for (QProcess *writer : {a.get(), b.get()}) {
        EXPECT_EQ(writer->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(QString::fromUtf8(writer->readAllStandardOutput()), "lost 0\n")
            << writer->readAllStandardError().toStdString();
    }
    EXPECT_GT(looks, 10);
    EXPECT_TRUE(broken.isEmpty()) << broken.size() << " of " << looks
                                  << ", first: " << broken.first().toStdString();

    const QByteArray final = TestFiles::read(path);
    EXPECT_EQ(wholeness(final, defaults), QString());
    const modIniHandler::IniDocument document(final);
    const QString lastRound = QString::number(Rounds - 1);
    for (const QString &key : KeysOfA)
        EXPECT_EQ(valueIn(document, key), "A-" + lastRound) << key.toStdString();
    for (const QString &key : KeysOfB)
        EXPECT_EQ(valueIn(document, key), "B-" + lastRound) << key.toStdString();
    EXPECT_TRUE(
        valueIn(document, "Shared") == "A-" + lastRound || valueIn(document, "Shared") == "B-" + lastRound)
        << valueIn(document, "Shared").toStdString();
    // No writer left a temporary file behind.
    EXPECT_EQ(TestFiles::entries(dir.path()), QStringList({"Tessaro.ini"}));
}

} // namespace
