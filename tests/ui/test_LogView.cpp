// The log view: after every writer the newest line is selected and wholly in sight, also once
// the horizontal bar appears; a screen reader finds a list of the lines with the newest one
// selected.
#include "engine/ActivityLog.h"
#include "ui/LogView.h"

#include <QAccessible>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace
{

constexpr int WaitMs = 5000;

class LogViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        view.setLog(&log);
        // Four lines high, so that a run of five files scrolls.
        view.resize(240, 4 * (view.fontMetrics().height() + 2) + 2 * view.frameWidth());
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    // A run as the transfer run writes it: an in-progress line, selected, that the result
    // replaces before the next file's line; the events run between files.
    void runOver(int files)
    {
        for (int file = 0; file <= files; ++file) {
            if (file > 0)
                log.replaceNewest(QStringLiteral("Copied: file%1.txt").arg(file - 1), false);
            if (file < files)
                log.log(QStringLiteral("Copying: file%1.txt").arg(file));
            log.selectNewest();
            QCoreApplication::processEvents();
        }
    }

    QModelIndex newest() const { return log.index(log.lineCount() - 1); }

    // Selected, current, and from its top to its bottom inside the viewport.
    bool newestInSight() const
    {
        const QRect line = view.visualRect(newest());
        return view.currentIndex() == newest() && view.selectionModel()->isSelected(newest())
            && line.top() >= 0 && line.bottom() <= view.viewport()->rect().bottom();
    }

    ActivityLog log;
    LogView view;
};

} // namespace

TEST_F(LogViewTest, NewestLineIsSelectedAndWhollyInSightAfterEveryWriter)
{
    log.log("Schedule started");
    log.selectNewest();
    runOver(5);
    ASSERT_EQ(log.lineCount(), 6);
    EXPECT_TRUE(QTest::qWaitFor([this] { return newestInSight(); }, WaitMs))
        << "first row in sight " << view.verticalScrollBar()->value();

    // A line wider than the view brings the horizontal bar, which takes room from the lines.
    log.log(QStringLiteral("Copied: ") + QString(80, QLatin1Char('x')) + QStringLiteral(".txt"));
    log.selectNewest();
    EXPECT_TRUE(QTest::qWaitFor([this] { return view.horizontalScrollBar()->isVisible(); }, WaitMs));
    EXPECT_TRUE(QTest::qWaitFor([this] { return newestInSight(); }, WaitMs))
        << "newest line at " << view.visualRect(newest()).bottom() << ", viewport ends at "
        << view.viewport()->rect().bottom();

    // A line read further up stays where the reader left it while no writer writes.
    view.verticalScrollBar()->setValue(0);
    QTest::qWait(50);
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);

    log.clear();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !view.selectionModel()->hasSelection(); }, WaitMs));
}

TEST_F(LogViewTest, ScreenReaderFindsAListOfTheLinesWithTheNewestSelected)
{
    runOver(3);
    ASSERT_TRUE(QTest::qWaitFor([this] { return newestInSight(); }, WaitMs));
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::List);
    ASSERT_EQ(list->childCount(), 3);
    ASSERT_NE(list->tableInterface(), nullptr);
    EXPECT_EQ(list->tableInterface()->selectedRows(), QList<int> {2});
    for (int row = 0; row < 3; ++row) {
        QAccessibleInterface *line = list->child(row);
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(line->role(), QAccessible::ListItem);
        EXPECT_EQ(line->text(QAccessible::Name), log.line(row));
        EXPECT_EQ(line->state().selected, row == 2) << row;
        EXPECT_EQ(line->parent(), list);
        EXPECT_EQ(list->indexOfChild(line), row);
        EXPECT_EQ(list->childAt(line->rect().center().x(), line->rect().center().y()), line);
    }

    // The newest line's item reads the line that replaced it.
    log.replaceNewest("Copied again: file2.txt", false);
    EXPECT_EQ(list->child(2)->text(QAccessible::Name), "Copied again: file2.txt");
    log.clear();
    EXPECT_EQ(list->childCount(), 0);
    EXPECT_EQ(list->child(0), nullptr);
}
