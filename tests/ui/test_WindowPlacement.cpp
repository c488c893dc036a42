// The centring of windows: over a parent, on the screen, and by the outer rectangle.
#include "ui/WindowPlacement.h"

#include <QDialog>
#include <QWidget>
#include <gtest/gtest.h>

using WindowPlacement::CenteredOnScreen;
using WindowPlacement::CenteredOver;

TEST(CenterForm, CentresOverTheParentRoundingHalvesToEven)
{
    EXPECT_EQ(CenteredOver(QSize(100, 50), QRect(200, 100, 300, 150)), QPoint(300, 150));
    // Same size: exactly on the parent.
    EXPECT_EQ(CenteredOver(QSize(300, 150), QRect(200, 100, 300, 150)), QPoint(200, 100));
    // 50.5 and 51.5 go to the even neighbours 50 and 52.
    EXPECT_EQ(CenteredOver(QSize(100, 100), QRect(0, 0, 201, 203)), QPoint(50, 52));
}

TEST(CenterForm, NeverLeavesTheScreenOverASmallParentButMayWithoutOne)
{
    // A parent smaller than the dialog near the top left corner.
    EXPECT_EQ(CenteredOver(QSize(400, 300), QRect(10, 500, 100, 80)), QPoint(0, 390));
    EXPECT_EQ(CenteredOver(QSize(400, 300), QRect(600, 5, 100, 80)), QPoint(450, 0));
    EXPECT_EQ(CenteredOnScreen(QSize(1200, 900), QRect(0, 0, 1000, 800)), QPoint(-100, -50));
    EXPECT_EQ(CenteredOnScreen(QSize(101, 100), QRect(0, 0, 1000, 800)), QPoint(450, 350));
}

TEST(CenterForm, MovesAWidgetByItsOuterRectangle)
{
    QWidget parent;
    parent.setGeometry(100, 80, 400, 300);
    QDialog dialog(&parent);
    dialog.resize(200, 100);
    WindowPlacement::CenterForm(&dialog, &parent);
    const QRect parentFrame = parent.frameGeometry();
    EXPECT_EQ(dialog.frameGeometry().center().x() - parentFrame.center().x(), 0);
    EXPECT_LE(std::abs(dialog.frameGeometry().center().y() - parentFrame.center().y()), 1);
    EXPECT_EQ(dialog.size(), QSize(200, 100));
}
