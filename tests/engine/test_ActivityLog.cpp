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

} // namespace
