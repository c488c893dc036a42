#include "TestHost.h"
#include "config/LanguageLocale.h"
#include "engine/ActivityLog.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace
{

QDateTime fixedMorning()
{
    return QDateTime(QDate(2025, 12, 8), QTime(7, 5, 9));
}

TEST(ActivityLogTest, AppendsReplacesAndSelectsOnlyAtTheEnd)
{
    ActivityLog log;
    QSignalSpy inserted(&log, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&log, &QAbstractItemModel::rowsRemoved);
    QSignalSpy selected(&log, &ActivityLog::selectedRowChanged);

    log.selectNewest();
    EXPECT_EQ(log.selectedRow(), -1);
    EXPECT_EQ(selected.count(), 0);

    // Replacing in an empty log only appends.
    log.replaceNewest("first", false);
    log.log("second");
    log.selectNewest();
    EXPECT_EQ(log.selectedRow(), 1);
    log.replaceNewest("second, done", false);
    EXPECT_EQ(log.lines(), QStringList({"first", "second, done"}));
    // The replaced line was selected: the selection went with it until selected again.
    EXPECT_EQ(log.selectedRow(), -1);
    log.selectNewest();
    EXPECT_EQ(log.selectedRow(), 1);
    EXPECT_EQ(selected.count(), 3);

    ASSERT_EQ(inserted.count(), 3);
    for (const QList<QVariant> &args : inserted)
        EXPECT_EQ(args.at(1).toInt(), args.at(2).toInt()) << "one row per insertion";
    EXPECT_EQ(inserted.last().at(1).toInt(), 1);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.first().at(1).toInt(), 1);

    EXPECT_EQ(log.rowCount(), 2);
    EXPECT_EQ(log.data(log.index(0)).toString(), "first");
    EXPECT_FALSE(log.data(log.index(5)).isValid());

    log.clear();
    EXPECT_EQ(log.rowCount(), 0);
    EXPECT_EQ(log.selectedRow(), -1);
    log.removeNewest();
    EXPECT_EQ(log.rowCount(), 0);
}

TEST(ActivityLogTest, PrefixIsShortDateBlankTimeWithSecondsAndDash)
{
    ActivityLog log;
    log.setClock(fixedMorning);
    log.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(log.datePrefix(), "12/8/25 7:05:09 AM - ");
    log.setLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(log.datePrefix(), "08.12.25 07:05:09 - ");

    log.logWithPrefix("t33", true);
    log.logWithPrefix("t34", false);
    log.log("t27: a");
    log.replaceNewest("t25: a", true);
    EXPECT_EQ(log.lines(), QStringList({"08.12.25 07:05:09 - t33", "t34", "08.12.25 07:05:09 - t25: a"}));

    // The user's locale rules; where it says nothing (C, POSIX) the program's language does.
    EXPECT_EQ(LanguageLocale::ForDates(QLocale::c(), "Deutsch").name(), "de_DE");
    EXPECT_EQ(LanguageLocale::ForDates(QLocale::c(), "English ").name(), "en_US");
    EXPECT_EQ(LanguageLocale::ForDates(QLocale(QLocale::French, QLocale::France), "Deutsch").name(), "fr_FR");
    EXPECT_EQ(LanguageLocale::ForDates(QLocale::c(), "Elvish").language(), QLocale::C);
}

TEST(ActivityLogTest, PrefixIsWantedOnlyForExactlyOne)
{
    {
        TestSettings missing;
        EXPECT_TRUE(ActivityLog::PrefixWanted());
    }
    TestSettings settings;
    const QList<QPair<QString, bool>> cases
        = {{"1", true}, {"0", false}, {"yes", false}, {"1 ", false}, {"", false}};
    for (const auto &[value, wanted] : cases) {
        settings.set("ShowDateAndTime", value);
        EXPECT_EQ(ActivityLog::PrefixWanted(), wanted) << '"' << value.toStdString() << '"';
    }
}

TEST(ActivityLogTest, KeepsEveryLineOfALongLog)
{
    ActivityLog log;
    QSignalSpy inserted(&log, &QAbstractItemModel::rowsInserted);
    for (int n = 0; n < 100000; ++n) {
        log.log(QStringLiteral("t27: file %1").arg(n));
        log.replaceNewest(QStringLiteral("t25: file %1").arg(n), false);
    }
    log.selectNewest();
    EXPECT_EQ(log.rowCount(), 100000);
    EXPECT_EQ(log.line(99999), "t25: file 99999");
    EXPECT_EQ(log.line(0), "t25: file 0");
    EXPECT_EQ(log.selectedRow(), 99999);
    EXPECT_EQ(inserted.count(), 200000);
    EXPECT_EQ(inserted.last().at(1).toInt(), 99999);
}

// Lines of every kind read back exactly from the compact store: Latin-1 texts, wide ones, a
// lone surrogate; runs of lines sharing a prefix, broken by lines without and by a change of
// locale; lines removed back across runs; a line longer than a page of the store; clear().
TEST(ActivityLogTest, LinesReadBackExactlyFromTheCompactStore)
{
    ActivityLog log;
    QDateTime moment = fixedMorning();
    log.setClock([&moment] { return moment; });
    log.setLocale(QLocale(QLocale::German, QLocale::Germany));
    const QString wide = QString::fromUtf8("t25: \u6587\u4ef6 \u00e4\u00df \U0001F600.txt");
    const QString latin1 = QString::fromUtf8("t25: caf\u00e9 \u00ff\t\\n 100%.bin");
    const QString surrogate = QStringLiteral("t25: ") + QChar(0xD800) + QStringLiteral("x");
    const QString beyondLatin1 = QString::fromUtf8("t25: \u0141\u00f3d\u017a ");
    const QStringList names = {wide, latin1, surrogate, beyondLatin1};
    const QString longLine = QStringLiteral("t35: ") + QString(70000, QLatin1Char('e')) + wide;
    QStringList expected;
    for (int n = 0; n < 3000; ++n) {
        if (n % 1000 == 999)
            moment = moment.addSecs(1);
        // The lines written so far keep the prefix they were written with.
        if (n == 1500)
            log.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        const QString name = names.at(n % names.size()) + QString::number(n);
        log.log(QStringLiteral("t27: ") + name);
        log.replaceNewest(name, n % 500 != 7);
        expected.append(n % 500 != 7 ? log.datePrefix() + name : name);
    }
    log.logWithPrefix(longLine, true);
    expected.append(log.datePrefix() + longLine);
    log.logWithPrefix(QString(), false);
    expected.append(QString());
    ASSERT_EQ(log.lineCount(), expected.size());
    for (int row = 0; row < expected.size(); ++row)
        ASSERT_EQ(log.line(row), expected.at(row)) << row;
    EXPECT_EQ(log.data(log.index(3000)).toString(), expected.at(3000));
    EXPECT_EQ(log.line(-1), QString());
    EXPECT_EQ(log.line(expected.size()), QString());

    // Removed back across runs of prefixes, then written at a new moment; replaced after many
    // lines, in the middle of a run of one prefix.
    for (int n = 0; n < 600; ++n)
        log.removeNewest();
    expected.resize(expected.size() - 600);
    moment = moment.addSecs(1);
    log.logWithPrefix(latin1, true);
    log.logWithPrefix(wide, true);
    log.replaceNewest(beyondLatin1, true);
    expected << log.datePrefix() + latin1 << log.datePrefix() + beyondLatin1;
    EXPECT_EQ(log.lines(), expected);
    EXPECT_EQ(log.newestLine(), expected.last());

    log.clear();
    EXPECT_EQ(log.newestLine(), QString());
    log.logWithPrefix(wide, true);
    EXPECT_EQ(log.lines(), QStringList({log.datePrefix() + wide}));
}

} // namespace
